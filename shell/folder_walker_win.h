// The previous and next file of the open file's folder, in the order the user sees: the
// view order of the Explorer window (or desktop) the file was opened from, else the
// folder's own enumeration order. Listed on a thread of its own in the multithreaded COM
// apartment; the user-interface thread takes a list over in waitForFolderWalker, which
// waits a bounded time and then settles for the folder's own list.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "diag/base.h"

enum : u8 {
    kWalkerListing = 0,  // no list taken yet
    kWalkerReady = 1,
    kWalkerFailed = 2,
};

enum : u32 {
    kCommandNextFile = 0x4102,
    kCommandPreviousFile = 0x4103,
    // How long the user-interface thread waits for the shell's view before it takes the
    // folder's own list (a hung Explorer must not hang the viewer).
    kWalkerWaitMilliseconds = 1500,
    kWalkerMostViews = 16,
};

// Fills `views` (each with a reference for the caller) with the shell views that may show
// the folder of the open file, for `window`: the windows the user may have opened it from.
// Returns how many. Runs on the listing thread, in the multithreaded apartment.
typedef u32 (*ShellViewSource)(HWND window, IFolderView* views[kWalkerMostViews]);

#pragma pack(push, 1)
// Items of one folder in one order, and the open file's place among them.
struct WalkerList {
    IFolderView* folderView;  // null for the folder's own enumeration
    IShellFolder* folder;     // the items are relative to it
    LPITEMIDLIST* items;      // child ID lists, each freed with CoTaskMemFree
    u32 itemCount;
    u32 found;                // the open file's index
};

// Owned by the user-interface side and the listing thread together (`references`); the
// last to let go frees it. The thread writes `folderList` before it sets `folderListed`
// and `viewList` before it ends; the user-interface side moves one of them into `list`.
struct FolderWalker {
    HANDLE thread;
    HANDLE folderListed;  // a manual-reset event
    volatile long references;
    u8 state;
    WalkerList list;      // the list in use, once ready
    u32 current;          // the item shown now
    u32 start;            // where the present run of steps began
    WalkerList folderList;
    WalkerList viewList;
    wchar_t* path;        // the open file
    HWND window;          // the window that may show the folder, or null
    ShellViewSource source;
};
#pragma pack(pop)

// Null when the record or its thread cannot be made (a null path is allowed). `source`
// null asks the shell for its windows whose handle is `window` (the desktop's view when
// `window` is the desktop).
FolderWalker* startFolderWalker(const wchar_t* path, HWND window, ShellViewSource source = nullptr);

// Waits for the listing, at most kWalkerWaitMilliseconds; true when a list is ready.
bool waitForFolderWalker(FolderWalker* walker);

// Moves one item forward or backward (wrapping) and writes its parsing name. False when
// there is no list, when the run comes back to where it started, or when the name cannot
// be had in MAX_PATH units.
bool stepFolderWalker(FolderWalker* walker, wchar_t path[MAX_PATH], bool backward);

// Lets go of the walker; a listing thread still at work frees it when it ends.
void discardFolderWalker(FolderWalker* walker);

// Enables or greys Previous File and Next File in `menu`.
void enableFolderWalkerItems(HMENU menu, bool enabled);

// Replaces *walker by a new one for `path` and enables Previous File and Next File in
// `menu` when it could be started (greys them when not).
void restartFolderWalker(FolderWalker** walker, HMENU menu, const wchar_t* path, HWND window);

// Whether two paths name the same file as Windows compares names: ordinal, without regard
// to case.
bool sameFilePath(const wchar_t* a, const wchar_t* b);
