// The report panel: what a finished load found (format, size, up axis, colours, the tree
// of solids, messages), and the message box that every report of the window ends in. The
// tree itself is in solids_tree_win.cpp.
#include <windows.h>

#include "app/main_window_win.h"
#include "diag/messages.h"
#include "format/length_text.h"
#include "render/view_window_win.h"

namespace {

void showLoadedFile(MainWindow* main) {
    const LoadResult& result = main->shown.result;
    HWND viewWindow = control(main, kViewId);
    ViewState* state = viewStateOf(viewWindow);
    appendLine(main, L"file loaded successfully");
    fillSolidsTree(main);

    bool yUp = result.provenance.coordinateSpace == kSpaceYUp;
    HWND spaceList = control(main, kSpaceListId);
    SendMessageW(spaceList, CB_SETCURSEL, yUp ? 0 : 1, 0);
    if (state)
        state->yUp = yUp;
    InvalidateRect(viewWindow, nullptr, FALSE);
    EnableWindow(spaceList, TRUE);

    HWND check = control(main, kMaterialCheckId);
    HWND order = control(main, kColourOrderListId);
    if (result.format == kFormatAscii) {
        SetWindowTextW(control(main, kFormatLineId), L"ASCII STL");
        SendMessageW(check, BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageW(order, CB_SETCURSEL, WPARAM(-1), 0);
    } else {
        SetWindowTextW(control(main, kFormatLineId), L"Binary STL");
        u32 material = result.provenance.materialColour;
        if (material != 0) {
            SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
            main->materialColour = unpackColour(material);
        } else {
            SendMessageW(check, BM_SETCHECK, BST_UNCHECKED, 0);
        }
        SendMessageW(order, CB_SETCURSEL, result.provenance.colourOrder == kColourBgr ? 1 : 0, 0);
    }
    updateDimensions(main);
    handOverMesh(viewWindow, main->shownMesh);
    EnableWindow(check, TRUE);
    EnableWindow(control(main, kSwatchId), TRUE);
    applyObjectColour(main);
    scheduleMeshCheck(main);
}

void showFailure(MainWindow* main) {
    detachMesh(control(main, kViewId));
    SetWindowTextW(control(main, kFormatLineId), L"");
    SetWindowTextW(control(main, kDimensionsLineId), L"");
    HWND check = control(main, kMaterialCheckId);
    SendMessageW(check, BM_SETCHECK, BST_UNCHECKED, 0);
    EnableWindow(check, FALSE);
    EnableWindow(control(main, kSwatchId), FALSE);
    SendMessageW(control(main, kSpaceListId), CB_SETCURSEL, WPARAM(-1), 0);
    SendMessageW(control(main, kColourOrderListId), CB_SETCURSEL, WPARAM(-1), 0);
    EnableWindow(control(main, kSpaceListId), FALSE);
}

}  // namespace

void showLoadResult(MainWindow* main) {
    main->materialColour = Colour4{0xFF, 0xFF, 0xFF, 0};
    EnableWindow(control(main, kColourOrderListId), FALSE);
    if (main->fileShown)
        showLoadedFile(main);
    else
        showFailure(main);
    HWND viewWindow = control(main, kViewId);
    ShowWindow(viewWindow, SW_SHOW);
    SendMessageW(main->window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(viewWindow), 1);
    ShowWindow(control(main, kProgressId), SW_HIDE);
    InvalidateRect(viewWindow, nullptr, FALSE);
    main->job = nullptr;
}

void updateDimensions(MainWindow* main) {
    bool yUp = SendMessageW(control(main, kSpaceListId), CB_GETCURSEL, 0, 0) == 0;
    HWND viewWindow = control(main, kViewId);
    if (ViewState* state = viewStateOf(viewWindow))
        state->yUp = yUp;
    InvalidateRect(viewWindow, nullptr, FALSE);
    if (!main->fileShown || !main->shownMesh)
        return;
    Utf16 text[kDimensionsTextUnits + 1];
    *writeDimensionsText(main->shownMesh->size, yUp, text) = 0;
    SetWindowTextW(control(main, kDimensionsLineId), reinterpret_cast<const wchar_t*>(text));
}

void appendText(HWND edit, const wchar_t* text) {
    int length = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, length, length);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

void appendLine(MainWindow* main, const wchar_t* text) {
    HWND edit = control(main, kMessagesId);
    appendText(edit, text);
    appendText(edit, L"\r\n");
    SendMessageW(edit, EM_LINESCROLL, 0, 0x7FFFFFFF);
}

bool windowTextSink(void* main, ResultCode code, uptr argument, const Utf16*) {
    if (code == kUtf16Text)
        appendLine(static_cast<MainWindow*>(main), reinterpret_cast<const wchar_t*>(argument));
    return true;
}
