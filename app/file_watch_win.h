// A watch on one file: a thread of its own reads its folder's changes and posts a message
// to a window whenever one names the file (written, resized, created, deleted, renamed to
// or from), or when the changes were too many to list. No polling: the thread sleeps in
// the system until a change or the end.
#pragma once

#include <windows.h>

struct FileWatch;

// Watches `path`, posting `message` with `tag` as wParam to `window`. Null when the folder
// cannot be watched (the viewer then simply does not follow the file).
FileWatch* startFileWatch(const wchar_t* path, HWND window, UINT message, WPARAM tag);

// Ends the watch without waiting: its thread cancels its read and frees the record. A
// message already posted may still arrive; its tag tells it apart.
void endFileWatch(FileWatch* watch);
