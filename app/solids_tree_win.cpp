// The tree of solids: the file at the root and each solid below it, with checkboxes that
// show and hide the solids. Filled after a load, emptied before the next; its checkbox
// notifications, from Windows and from Wine, end in the load's solidVisible.
#include <windows.h>
#include <commctrl.h>

#include "app/main_window_win.h"
#include "stl/heap.h"

namespace {

// The checkbox of an item is its state image: index 1 unchecked, 2 checked, in bits 12 to
// 15 of the item's state (TVIS_STATEIMAGEMASK).
enum : u32 { kUncheckedImage = 1, kCheckedImage = 2 };

u32 stateImage(UINT state) {
    return (state & TVIS_STATEIMAGEMASK) >> 12;
}

bool isChecked(UINT state) {
    return stateImage(state) == kCheckedImage;
}

// A notification's answer, for the dialog manager to return (DWLP_MSGRESULT).
INT_PTR answerNotification(MainWindow* main, LONG_PTR value) {
    SetWindowLongPtrW(main->window, DWLP_MSGRESULT, value);
    return TRUE;
}

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
    insert.item.state = INDEXTOSTATEIMAGEMASK(checked ? kCheckedImage : kUncheckedImage);
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    insert.item.lParam = LPARAM(parameter);
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

HTREEITEM nextItem(HWND tree, UINT relation, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

// Windows (Vista on) asks before a checkbox changes; Wine's tree view toggles without
// asking, which the posted kTreeChecksChanged catches up with. Either way a change is
// acted on once: what this refuses or copies into solidVisible is then no change there.
INT_PTR onItemChanging(MainWindow* main, const NMTVITEMCHANGE* change) {
    if (stateImage(change->uStateNew) == stateImage(change->uStateOld))
        return FALSE;
    u32 parameter = u32(change->lParam);
    if (parameter == kFileItemParameter)
        return answerNotification(main, 1);  // the file's checkbox stays checked
    if (parameter < main->shown.result.mesh.solidCount) {
        main->shown.solidVisible[parameter] = isChecked(change->uStateNew);
        InvalidateRect(control(main, kViewId), nullptr, FALSE);
    }
    return answerNotification(main, 0);
}

}  // namespace

// Objects are each inserted first, so the last solid of the file is listed at the top.
void fillSolidsTree(MainWindow* main) {
    HWND tree = control(main, kTreeId);
    const LoadResult* result = &main->shown.result;
    SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    wchar_t* fileLabel = decodeLabel(&result->provenance.modelName);
    HTREEITEM file = insertItem(tree, TVI_ROOT, fileLabel && fileLabel[0] ? fileLabel : L"File", true, kFileItemParameter);
    if (fileLabel)
        deallocate(fileLabel);
    if (file) {
        for (u32 i = 0; i < result->mesh.solidCount; ++i) {
            wchar_t* label = result->format == kFormatAscii ? decodeLabel(&result->mesh.solids[i].name) : nullptr;
            insertItem(tree, file, label && label[0] ? label : L"Object", main->shown.solidVisible[i] != 0, i);
            if (label)
                deallocate(label);
        }
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(file));
    }
    SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
}

void emptyTree(HWND tree) {
    SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
}

INT_PTR onSolidsTreeNotify(MainWindow* main, const NMHDR* header) {
    if (!main->fileShown)
        return FALSE;
    switch (header->code) {
    case TVN_ITEMCHANGINGW:
        return onItemChanging(main, reinterpret_cast<const NMTVITEMCHANGE*>(header));
    case NM_CLICK:
        PostMessageW(main->window, kTreeChecksChanged, 0, 0);
        return FALSE;
    case TVN_KEYDOWN:
        if (reinterpret_cast<const NMTVKEYDOWN*>(header)->wVKey == VK_SPACE)
            PostMessageW(main->window, kTreeChecksChanged, 0, 0);
        return FALSE;
    }
    return FALSE;
}

// After a click or the space bar in the tree: the control has toggled the item by now
// (Wine tells nobody before). Copies each object's check into solidVisible and puts the
// file item's check back; on Windows the change was already taken or refused when the
// control asked, so nothing differs here any more.
void syncTreeChecks(MainWindow* main) {
    if (!main->fileShown)
        return;
    HWND tree = control(main, kTreeId);
    HTREEITEM file = nextItem(tree, TVGN_ROOT, nullptr);
    if (!file)
        return;
    TVITEMW item = {};
    item.mask = TVIF_STATE | TVIF_PARAM;
    item.stateMask = TVIS_STATEIMAGEMASK;
    item.hItem = file;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (!isChecked(item.state)) {
        item.mask = TVIF_STATE;
        item.state = INDEXTOSTATEIMAGEMASK(kCheckedImage);
        SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    bool changed = false;
    for (HTREEITEM child = nextItem(tree, TVGN_CHILD, file); child; child = nextItem(tree, TVGN_NEXT, child)) {
        item.mask = TVIF_STATE | TVIF_PARAM;
        item.hItem = child;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        u32 index = u32(item.lParam);
        if (index >= main->shown.result.mesh.solidCount)
            continue;
        u8 visible = isChecked(item.state);
        if (main->shown.solidVisible[index] != visible) {
            main->shown.solidVisible[index] = visible;
            changed = true;
        }
    }
    if (changed)
        InvalidateRect(control(main, kViewId), nullptr, FALSE);
}
