// What the menu items, the accelerators, the 3D view's arrow keys and the panel's controls do. All
// on the user-interface thread.
#include <windows.h>

#include "app/main_window_win.h"
#include "render/view_window_win.h"
#include "stl/detect.h"

namespace {

// The colour dialog's custom colours, kept for the process's life.
COLORREF customColours[16] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                              0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};

const wchar_t kAboutText[] =
    L"Vantorel STL Viewer from 2017-12-30 00:28\r\n\r\n"
    L"Copyright \u00A9 the Vantorel STL Viewer developers. The program and its sources belong to "
    L"its developers; all rights reserved.\r\n\r\n"
    L"New versions are published on the Vantorel STL Viewer project page, together with the "
    L"sources they were built from.";

void openFile(MainWindow* main, const wchar_t* path) {
    restartFolderWalker(&main->walker, main->menu, path, nullptr);
    beginLoad(main, path);
}

void step(MainWindow* main, bool backward) {
    FolderWalker* walker = main->walker;
    if (!walker)
        return;
    wchar_t path[MAX_PATH];
    do {
        if (!stepFolderWalker(walker, path, backward)) {
            if (walker->state == kWalkerFailed)  // the folder could not be listed at all
                enableFolderWalkerItems(main->menu, false);
            return;
        }
    } while (probeStlFile(path) == kOtherFile);
    beginLoad(main, path);
    // The next run of steps stops when it comes back to the file now shown.
    if (waitForFolderWalker(walker))
        walker->start = walker->current;
}

void setChecked(HMENU menu, u16 id, bool checked) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = checked ? MFS_CHECKED : 0;
    SetMenuItemInfoW(menu, id, FALSE, &item);
}

void saveSetting(MainWindow* main, const wchar_t* name, u32 value) {
    if (HKEY key = openSettingsForWriting(&main->translator)) {
        writeSettingValue(key, name, value, &main->translator);
        RegCloseKey(key);
    }
}

// A View menu toggle: the window's flag, its check mark, the view's copy and a new frame.
void toggleViewOption(MainWindow* main, u8* flag, u16 command, bool ViewState::*option) {
    *flag = !*flag;
    setChecked(main->menu, command, *flag);
    HWND viewWindow = control(main, kViewId);
    if (ViewState* state = viewStateOf(viewWindow))
        state->*option = *flag;
    InvalidateRect(viewWindow, nullptr, FALSE);
}

// The colour dialog, its answer handled by the command that asked (onDialogClosed).
void chooseColour(MainWindow* main, u16 purpose, Colour4 initial) {
    startDialog(main->window, kColourDialog, purpose, RGB(initial.red, initial.green, initial.blue), customColours);
}

Colour4 chosenColour(const DialogRequest* request) {
    return Colour4{GetRValue(request->colour), GetGValue(request->colour), GetBValue(request->colour), 0xFF};
}

void defaultMaterialChosen(MainWindow* main, Colour4 colour) {
    main->defaultObjectColour = colour;
    if (main->materialColour.fourth == 0)
        applyObjectColour(main);
    const Colour4& c = main->defaultObjectColour;
    saveSetting(main, kDefaultObjectColourSetting, storedColourFrom(packColour(Colour4{c.red, c.green, c.blue, 0xFF})));
}

void about(MainWindow* main) {
    MessageBoxW(main->window, kAboutText, L"About", MB_OK | MB_SETFOREGROUND);
}

void materialChecked(MainWindow* main) {
    bool checked = SendMessageW(control(main, kMaterialCheckId), BM_GETCHECK, 0, 0) == BST_CHECKED;
    main->materialColour.fourth = checked ? 0xFF : 0;
    applyObjectColour(main);
}

void swatchColourChosen(MainWindow* main, Colour4 colour) {
    main->materialColour = colour;
    SendMessageW(control(main, kMaterialCheckId), BM_SETCHECK, BST_CHECKED, 0);
    main->materialColour.fourth = 0xFF;
    applyObjectColour(main);
}

}  // namespace

void onCommand(MainWindow* main, u16 id, u16 notification) {
    switch (id) {
    case kCommandOpen:
        startDialog(main->window, kOpenFileDialog, kCommandOpen, 0, nullptr);
        break;
    case kCommandExit:
    case IDCANCEL:
        PostMessageW(main->window, WM_CLOSE, 0, 0);
        break;
    case kCommandNextFile:
        step(main, false);
        break;
    case kCommandPreviousFile:
        step(main, true);
        break;
    case kCommandFlipZoom:
        toggleViewOption(main, &main->flipZoom, kCommandFlipZoom, &ViewState::flipZoom);
        saveSetting(main, kFlipZoomSetting, main->flipZoom);
        break;
    case kCommandWireframe:
        toggleViewOption(main, &main->wireframe, kCommandWireframe, &ViewState::wireframe);
        break;
    case kCommandShowOpenEdges:
        toggleViewOption(main, &main->showOpenEdges, kCommandShowOpenEdges, &ViewState::showOpenEdges);
        saveSetting(main, kShowOpenEdgesSetting, main->showOpenEdges);
        break;
    case kCommandDefaultMaterial:
        chooseColour(main, kCommandDefaultMaterial, main->defaultObjectColour);
        break;
    case kCommandAbout:
        about(main);
        break;
    case kViewId:
        if (notification == kViewStepForward || notification == kViewStepBackward)
            step(main, notification == kViewStepBackward);
        else if (notification == kViewGpuLost)
            onGpuLostReload(main);
        break;
    case kSpaceListId:
        if (notification == CBN_SELCHANGE)
            updateDimensions(main);
        break;
    case kMaterialCheckId:
        materialChecked(main);
        break;
    case kSwatchId:
        if (notification == STN_CLICKED)
            chooseColour(main, kSwatchId, main->materialColour);
        break;
    }
}

void onDialogClosed(MainWindow* main, LPARAM lParam) {
    DialogRequest* request = dialogClosed(lParam);
    if (request->chosen && request->purpose == kCommandOpen)
        openFile(main, request->path);
    else if (request->chosen && request->purpose == kCommandDefaultMaterial)
        defaultMaterialChosen(main, chosenColour(request));
    else if (request->chosen && request->purpose == kSwatchId)
        swatchColourChosen(main, chosenColour(request));
    finishDialog(request);
}

// Several files dropped: the first opens, as if chosen with File, Open.
void openDroppedFiles(MainWindow* main, HDROP drop) {
    static wchar_t path[32768];
    UINT length = DragQueryFileW(drop, 0, path, 32768);
    DragFinish(drop);
    if (length > 0 && length < 32768)
        openFile(main, path);
}

// The mesh's colour is written without the view's lock: a 32-bit store that the drawing
// code reads whole.
void applyObjectColour(MainWindow* main) {
    if (main->swatchBrush)
        DeleteObject(main->swatchBrush);
    HBRUSH brush = nullptr;
    HWND viewWindow = control(main, kViewId);
    ViewState* state = viewStateOf(viewWindow);
    GpuMesh* mesh = state ? state->mesh : nullptr;
    u32 colour = objectColour(packColour(main->materialColour), main->fileShown ? &main->shown.result : nullptr,
                              packColour(main->defaultObjectColour));
    if (main->materialColour.fourth != 0)
        brush = CreateSolidBrush(RGB(main->materialColour.red, main->materialColour.green, main->materialColour.blue));
    if (mesh) {
        mesh->colour = colour;
        InvalidateRect(viewWindow, nullptr, FALSE);
    }
    main->swatchBrush = brush;
    InvalidateRect(control(main, kSwatchId), nullptr, FALSE);
}
