// The report panel: what a finished load found (format, size, up axis, colours, the tree
// of solids, messages), and the message box that every report of the window ends in.
#include <windows.h>
#include <commctrl.h>

#include "app/main_window_win.h"
#include "diag/messages.h"
#include "format/length_text.h"
#include "render/view_window_win.h"
#include "stl/heap.h"

namespace {

// A label of a file text: decoded, with control characters shown as their pictures
// (U+2400 on), so that a TAB in a solid name never reaches the tree raw. Null for an empty
// text or when the heap is exhausted; the caller frees it.
wchar_t* decodeLabel(const FileText* text) {
    if (text->length == 0)
        return nullptr;
    Utf16* label = static_cast<Utf16*>(allocate(4 * u64(text->length) + 2));
    if (!label)
        return nullptr;
    Utf16* end = decodeFileText(text, label);
    *end = 0;
    for (Utf16* unit = label; unit < end; ++unit) {
        if (*unit < 0x20)
            *unit = Utf16(*unit + 0x2400);
    }
    return reinterpret_cast<wchar_t*>(label);
}

HTREEITEM insertItem(HWND tree, HTREEITEM parent, const wchar_t* label, bool checked, u32 parameter) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_FIRST;
    insert.item.mask = TVIF_TEXT | TVIF_STATE | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<wchar_t*>(label);
    insert.item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    insert.item.lParam = LPARAM(parameter);
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

// Objects are each inserted first, so the last solid of the file is listed at the top.
void fillTree(HWND tree, const LoadResult* result, const u8* solidVisible) {
    SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    wchar_t* fileLabel = decodeLabel(&result->provenance.modelName);
    HTREEITEM file = insertItem(tree, TVI_ROOT, fileLabel && fileLabel[0] ? fileLabel : L"File", true, kFileItemParameter);
    if (fileLabel)
        deallocate(fileLabel);
    if (file) {
        for (u32 i = 0; i < result->mesh.solidCount; ++i) {
            wchar_t* label = result->format == kFormatAscii ? decodeLabel(&result->mesh.solids[i].name) : nullptr;
            insertItem(tree, file, label && label[0] ? label : L"Object", solidVisible[i] != 0, i);
            if (label)
                deallocate(label);
        }
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(file));
    }
    SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
}

void showLoadedFile(MainWindow* main) {
    const LoadResult& result = main->shown.result;
    HWND viewWindow = control(main, kViewId);
    ViewState* view = viewStateOf(viewWindow);
    appendLine(main, L"file loaded successfully");
    fillTree(control(main, kTreeId), &result, main->shown.solidVisible);

    bool yUp = result.provenance.coordinateSpace == kSpaceYUp;
    HWND spaceList = control(main, kSpaceListId);
    SendMessageW(spaceList, CB_SETCURSEL, yUp ? 0 : 1, 0);
    if (view)
        view->yUp = yUp;
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
    handOverMesh(viewWindow, main->shown.gpuMesh);
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
    if (main->shown.view)
        showLoadedFile(main);
    else
        showFailure(main);
    HWND view = control(main, kViewId);
    ShowWindow(view, SW_SHOW);
    SendMessageW(main->window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(view), 1);
    ShowWindow(control(main, kProgressId), SW_HIDE);
    InvalidateRect(view, nullptr, FALSE);
    main->job = nullptr;
}

void updateDimensions(MainWindow* main) {
    bool yUp = SendMessageW(control(main, kSpaceListId), CB_GETCURSEL, 0, 0) == 0;
    HWND viewWindow = control(main, kViewId);
    if (ViewState* view = viewStateOf(viewWindow))
        view->yUp = yUp;
    InvalidateRect(viewWindow, nullptr, FALSE);
    if (!main->shown.view || !main->shown.gpuMesh)
        return;
    Utf16 text[kDimensionsTextUnits + 1];
    *writeDimensionsText(main->shown.gpuMesh->size, yUp, text) = 0;
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

void emptyTree(HWND tree) {
    SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
}

// After a click or the space bar in the tree: the control has toggled the item by now
// (Wine tells nobody before). Copies each object's check into solidVisible and puts the
// file item's check back; on Windows the change was already taken or refused when the
// control asked, so nothing differs here any more.
void syncTreeChecks(MainWindow* main) {
    if (!main->shown.view)
        return;
    HWND tree = control(main, kTreeId);
    HTREEITEM file = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    if (!file)
        return;
    TVITEMW item = {};
    item.mask = TVIF_STATE | TVIF_PARAM;
    item.stateMask = TVIS_STATEIMAGEMASK;
    item.hItem = file;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if ((item.state & TVIS_STATEIMAGEMASK) != INDEXTOSTATEIMAGEMASK(2)) {
        item.mask = TVIF_STATE;
        item.state = INDEXTOSTATEIMAGEMASK(2);
        SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    bool changed = false;
    HTREEITEM child = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(file)));
    for (; child; child = reinterpret_cast<HTREEITEM>(
                      SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)))) {
        item.mask = TVIF_STATE | TVIF_PARAM;
        item.hItem = child;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        u32 index = u32(item.lParam);
        if (index >= main->shown.result.mesh.solidCount)
            continue;
        u8 visible = (item.state & TVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
        if (main->shown.solidVisible[index] != visible) {
            main->shown.solidVisible[index] = visible;
            changed = true;
        }
    }
    if (changed)
        InvalidateRect(control(main, kViewId), nullptr, FALSE);
}
