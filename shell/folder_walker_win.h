// The previous and next file of the open file's folder, in the order the user sees: the
// view order of the Explorer window (or desktop) the file was opened from, else the
// folder's own enumeration order. Listed on a thread of its own in the multithreaded COM
// apartment; the user-interface thread takes the list over after waitForFolderWalker.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "diag/base.h"

enum : u8 {
    kWalkerListing = 0,  // also when the thread could not initialise COM
    kWalkerReady = 1,
    kWalkerFailed = 2,
};

enum : u32 {
    kCommandNextFile = 0x4102,
    kCommandPreviousFile = 0x4103,
};

#pragma pack(push, 1)
struct FolderWalker {
    HANDLE thread;             // null once waited for
    u8 state;
    IFolderView* folderView;   // null when the list came from the folder itself
    IShellFolder* folder;      // the items are relative to it
    LPITEMIDLIST* items;       // child ID lists, each freed with CoTaskMemFree
    u32 itemCount;
    u32 current;               // the item shown now
    u32 start;                 // where the present run of steps began
    wchar_t* path;             // the open file, owned until the thread is waited for
    HWND window;               // the window that may show the folder, or null
};
#pragma pack(pop)

// Null when the record or its thread cannot be made (a null path is allowed).
FolderWalker* startFolderWalker(const wchar_t* path, HWND window);

// Waits for the listing; true when the list is ready.
bool waitForFolderWalker(FolderWalker* walker);

// Moves one item forward or backward (wrapping) and writes its parsing name. False when
// there is no list, when the run comes back to where it started, or when the name cannot
// be had in MAX_PATH units.
bool stepFolderWalker(FolderWalker* walker, wchar_t path[MAX_PATH], bool backward);

// Waits for the walker and frees it with everything it holds.
void discardFolderWalker(FolderWalker* walker);

// Replaces *walker by a new one for `path` and enables Previous File and Next File in
// `menu` when it could be started (greys them when not).
void restartFolderWalker(FolderWalker** walker, HMENU menu, const wchar_t* path, HWND window);
