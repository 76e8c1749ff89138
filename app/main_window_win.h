// The viewer's main window: one modeless dialog for the whole process and its record,
// shared by start-up, the commands, the load orchestration and the report panel. Only the
// user-interface thread touches the record; load jobs and the folder walker reach it
// through the completion message and their own records.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "app/dialog_thread_win.h"
#include "app/settings_store_win.h"
#include "diag/report.h"
#include "render/mesh.h"
#include "shell/folder_walker_win.h"
#include "stl/load_job.h"

// Control ids of the main window's children.
enum : u16 {
    kViewId = 16,
    kProgressId = 17,
    kTreeId = 18,
    kMessagesId = 19,
    kFormatLineId = 20,
    kDimensionsLineId = 21,
    kSpaceLabelId = 22,
    kSpaceListId = 23,
    kMaterialCheckId = 24,
    kSwatchId = 25,
    kColourOrderLabelId = 26,
    kColourOrderListId = 27,
    kMeshLineId = 28,
};

// Command ids of the menu items and accelerators (Next and Previous File come with the
// folder walker).
enum : u16 {
    kCommandOpen = 0x4100,
    kCommandExit = 0x4101,
    kCommandFlipZoom = 0x4104,
    kCommandWireframe = 0x4105,
    kCommandDefaultMaterial = 0x4106,
    kCommandAbout = 0x4107,
    kCommandShowOpenEdges = 0x4108,
};

// Private messages of the main window. kLoadCompleted (WM_APP) comes from load jobs; the
// tree's checkbox message is posted to ourselves after a click or the space bar, so that
// it reads the state the tree view has given the item by then.
// kMeshChecked comes from the mesh check's thread, its run record in lParam; kFileChanged
// from the shown file's watch (wParam: the watch's tag).
enum : UINT { kTreeChecksChanged = WM_APP + 1, kMeshChecked = WM_APP + 2, kFileChanged = WM_APP + 3 };

enum : u32 { kProgressTimer = 1, kMeshCheckTimer = 2, kReloadTimer = 3, kFileItemParameter = 0xFFFFFFFF };

struct MeshCheckRun;
struct FileWatch;

#pragma pack(push, 1)

// Red, green, blue and a fourth byte: for the material colour, non-zero while applied.
struct Colour4 {
    u8 red, green, blue, fourth;
};

struct MainWindow {
    HWND window;
    HMENU menu;
    HACCEL accelerators;
    HACCEL activeAccelerators;  // the table while the window is active, else null
    ReportSink translator;      // first link of the window's diagnostics
    ReportSink textSink;        // last link: lines into the message box
    LoadJob* job;               // the current load, null when none runs
    FolderWalker* walker;
    LoadedFile shown;           // the displayed load, when fileShown
    GpuMesh* shownMesh;         // its mesh on the view's GPU, in its heap
    bool fileShown;
    Colour4 materialColour;
    Colour4 defaultObjectColour;
    HBRUSH swatchBrush;
    u8 flipZoom;
    u8 wireframe;
    u8 showOpenEdges;
    // Loads begun, discarded on completion because a newer one superseded them, and shown
    // (taken over on completion, loaded or failed): what a session went through.
    u32 loadsBegun;
    u32 loadsDiscarded;
    u32 loadsShown;
    MeshCheckRun* meshCheck;    // the check of the shown file while it runs
    // The shown file's watch and what it leads to: a reload once writing has been quiet.
    FileWatch* watch;
    wchar_t* watchedPath;  // process heap
    WPARAM watchTag;       // tells the current watch's messages from an ended one's
    LoadJob* reloadJob;    // runs beside the shown model, which stays until it succeeds
    bool deletionReported;
    bool gpuReloadTried;  // since the last load shown: a lost GPU reloads once, not in a loop
    u32 reloadsShown;
};

#pragma pack(pop)

// A colour as meshes take it: red in the lowest byte.
inline u32 packColour(Colour4 colour) {
    return u32(colour.red) | u32(colour.green) << 8 | u32(colour.blue) << 16 | u32(colour.fourth) << 24;
}

inline Colour4 unpackColour(u32 colour) {
    return Colour4{u8(colour), u8(colour >> 8), u8(colour >> 16), u8(colour >> 24)};
}

// The dialog procedure of the main window (its template is in templates.h).
INT_PTR CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
MainWindow* mainWindowOf(HWND window);
HWND control(const MainWindow* main, u16 id);

// Commands: menu items, accelerators, the 3D view's steps and panel notifications.
void onCommand(MainWindow* main, u16 id, u16 notification);
void openDroppedFiles(MainWindow* main, HDROP drop);
void onDialogClosed(MainWindow* main, LPARAM lParam);
void applyObjectColour(MainWindow* main);

// Settings under HKEY_CURRENT_USER\Software\Vantorel (settings_store_win.h).
void readSettings(MainWindow* main);

// Loads: begun from start-up and the commands, shown on completion.
void beginLoad(MainWindow* main, const wchar_t* path);
void onProgressTimer(MainWindow* main, UINT_PTR timer);
void onLoadCompleted(MainWindow* main, LoadJob* job);
// A load job for `path` ending in the view, queued; null when it could not be (reported).
LoadJob* queueViewLoad(MainWindow* main, const wchar_t* path);
// takeJobMessages' receiver for the message box (`edit`).
void appendToMessages(void* edit, const Utf16* text, u64 bytes);

// Live reload (live_reload_win.cpp): the watch follows the file a load has shown; a
// change starts the quiet period, its end a reload of a shown model that keeps the camera
// and the solids' visibility; a lost GPU reloads at once.
void watchFile(MainWindow* main, const wchar_t* path);
void followShownFile(MainWindow* main);
void onFileChanged(MainWindow* main, WPARAM tag);
void onReloadTimer(MainWindow* main);
void reloadShownFile(MainWindow* main);
void onReloadCompleted(MainWindow* main, LoadJob* job);
void onGpuLostReload(MainWindow* main);
// The window title for a file: the prefix and the name after the last separator, cut
// with "…" so that the whole fits `kTitleUnits` units with its terminator.
enum : u32 { kTitleUnits = 256 };
void makeWindowTitle(const wchar_t* path, wchar_t title[kTitleUnits]);

// The report panel.
void showLoadResult(MainWindow* main);
void updateDimensions(MainWindow* main);
void appendText(HWND edit, const wchar_t* text);
void appendLine(MainWindow* main, const wchar_t* text);
bool windowTextSink(void* main, ResultCode code, uptr argument, const Utf16* trace);

// The tree of solids (solids_tree_win.cpp): filled from the shown load, emptied before the
// next, and its notifications (WM_NOTIFY from kTreeId; kTreeChecksChanged).
void fillSolidsTree(MainWindow* main);
void emptyTree(HWND tree);
INT_PTR onSolidsTreeNotify(MainWindow* main, const NMHDR* header);
void syncTreeChecks(MainWindow* main);

// The mesh line: the check starts after the shown file's first frame and is stopped
// before the file is released.
void scheduleMeshCheck(MainWindow* main);
void onMeshCheckTimer(MainWindow* main);
// Releases the shown file's memory, or hands it to a check still reading it, which
// releases it when it ends: this thread never waits for a check.
void releaseShownMemory(MainWindow* main);
void onMeshChecked(MainWindow* main, MeshCheckRun* run);
