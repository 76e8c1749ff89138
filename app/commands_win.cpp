// What the menu items, the accelerators, the 3D view's arrow keys and the panel's controls do. All
// on the user-interface thread.
#include <windows.h>
#include <commdlg.h>

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

void open(MainWindow* main) {
    // Static: 64 KiB would not fit the main thread's first stack pages comfortably.
    static wchar_t file[32768];
    file[0] = 0;
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = main->window;
    dialog.lpstrFilter = L"Stereolithography (*.stl)\0*.stl\0All Files\0*.*\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = 32767;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameW(&dialog))
        openFile(main, file);
}

void step(MainWindow* main, bool backward) {
    FolderWalker* walker = main->walker;
    if (!walker)
        return;
    wchar_t path[MAX_PATH];
    do {
        if (!stepFolderWalker(walker, path, backward))
            return;
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

void toggleFlipZoom(MainWindow* main) {
    main->flipZoom = !main->flipZoom;
    setChecked(main->menu, kCommandFlipZoom, main->flipZoom);
    if (ViewState* state = viewStateOf(control(main, kViewId)))
        state->flipZoom = main->flipZoom;
    saveSetting(main, kFlipZoomSetting, main->flipZoom);
}

void toggleWireframe(MainWindow* main) {
    main->wireframe = !main->wireframe;
    setChecked(main->menu, kCommandWireframe, main->wireframe);
    HWND viewWindow = control(main, kViewId);
    if (ViewState* state = viewStateOf(viewWindow))
        state->wireframe = main->wireframe;
    InvalidateRect(viewWindow, nullptr, FALSE);
}

bool chooseColour(HWND owner, Colour4 initial, Colour4* chosen) {
    CHOOSECOLORW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.rgbResult = RGB(initial.red, initial.green, initial.blue);
    dialog.lpCustColors = customColours;
    dialog.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR;
    if (!ChooseColorW(&dialog))
        return false;
    *chosen = Colour4{GetRValue(dialog.rgbResult), GetGValue(dialog.rgbResult), GetBValue(dialog.rgbResult), 0xFF};
    return true;
}

void selectDefaultMaterial(MainWindow* main) {
    if (!chooseColour(main->window, main->defaultObjectColour, &main->defaultObjectColour))
        return;
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

void swatchClicked(MainWindow* main) {
    if (!chooseColour(main->window, main->materialColour, &main->materialColour))
        return;
    SendMessageW(control(main, kMaterialCheckId), BM_SETCHECK, BST_CHECKED, 0);
    main->materialColour.fourth = 0xFF;
    applyObjectColour(main);
}

}  // namespace

void onCommand(MainWindow* main, u16 id, u16 notification) {
    switch (id) {
    case kCommandOpen:
        open(main);
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
        toggleFlipZoom(main);
        break;
    case kCommandWireframe:
        toggleWireframe(main);
        break;
    case kCommandDefaultMaterial:
        selectDefaultMaterial(main);
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
            swatchClicked(main);
        break;
    }
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
