#include "shell/folder_walker_win.h"

#include <exdisp.h>
#include <servprov.h>
#include <shlwapi.h>

#include "stl/heap.h"

namespace {

// The identifiers the shell publishes, spelt here so that nothing depends on which of
// them an import library happens to carry.
const GUID kClsidShellWindows = {0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
const GUID kIidShellWindows = {0x85CB6900, 0x4D95, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
const GUID kIidWebBrowserApp = {0x0002DF05, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kIidServiceProvider = {0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
const GUID kSidTopLevelBrowser = {0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};
const GUID kIidShellBrowser = {0x000214E2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kIidFolderView = {0xCDE725B0, 0xCCC9, 0x4519, {0x91, 0x7E, 0x32, 0x5D, 0x72, 0xFA, 0xB4, 0xCE}};
const GUID kIidShellFolder = {0x000214E6, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kIidEnumIdList = {0x000214F2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const u32 kBatch = 1024;

template <typename T>
void release(T*& object) {
    if (object) {
        object->Release();
        object = nullptr;
    }
}

void freeItems(LPITEMIDLIST* items, u32 count) {
    if (!items)
        return;
    for (u32 i = 0; i < count; ++i)
        CoTaskMemFree(items[i]);
    deallocate(items);
}

// All items of an enumeration, 1,024 at a time. False (nothing kept) when a call fails or
// memory runs out.
bool enumerate(IEnumIDList* list, LPITEMIDLIST** itemsOut, u32* countOut) {
    LPITEMIDLIST* items = nullptr;
    u64 count = 0;
    for (;;) {
        u64 capacity = count + kBatch;
        void* grown = capacity > (u64(1) << 32) - 1 ? nullptr
                      : items ? reallocate(items, capacity * sizeof(LPITEMIDLIST))
                              : allocate(capacity * sizeof(LPITEMIDLIST));
        if (!grown) {
            freeItems(items, u32(count));
            return false;
        }
        items = static_cast<LPITEMIDLIST*>(grown);
        ULONG fetched = 0;
        HRESULT result = list->Next(kBatch, items + count, &fetched);
        if (FAILED(result)) {
            freeItems(items, u32(count));
            return false;
        }
        count += fetched;
        if (fetched == 0) {
            *itemsOut = items;
            *countOut = u32(count);
            return true;
        }
    }
}

bool enumerateView(IFolderView* view, UINT which, LPITEMIDLIST** items, u32* count) {
    IEnumIDList* list = nullptr;
    if (FAILED(view->Items(which, kIidEnumIdList, reinterpret_cast<void**>(&list))) || !list)
        return false;
    bool ok = enumerate(list, items, count);
    list->Release();
    return ok;
}

// Copies a path that fits MAX_PATH units with its terminator; false, copying nothing, for a
// longer one.
bool copyPath(wchar_t out[MAX_PATH], const wchar_t* path) {
    u64 length = textLength(path, MAX_PATH);
    if (length == MAX_PATH)
        return false;
    __builtin_memcpy(out, path, (length + 1) * sizeof(wchar_t));
    return true;
}

// The parsing name of an item of `folder`, when it fits MAX_PATH units with its terminator.
bool parsingName(IShellFolder* folder, LPCITEMIDLIST item, wchar_t out[MAX_PATH]) {
    STRRET name;
    if (FAILED(folder->GetDisplayNameOf(item, SHGDN_FORPARSING, &name)))
        return false;
    wchar_t* text = nullptr;
    if (FAILED(StrRetToStrW(&name, item, &text)) || !text)
        return false;
    bool fits = copyPath(out, text);
    CoTaskMemFree(text);
    return fits;
}

bool samePath(const wchar_t* a, const wchar_t* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// Item by item, the sizes and bytes agree and both lists end together.
bool sameItemIdList(LPCITEMIDLIST a, LPCITEMIDLIST b) {
    for (;;) {
        USHORT size = a->mkid.cb;
        if (size != b->mkid.cb)
            return false;
        if (size == 0)
            return true;
        if (__builtin_memcmp(a, b, size) != 0)
            return false;
        a = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const u8*>(a) + size);
        b = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const u8*>(b) + size);
    }
}

// The view of one shell window: folder, view and its items in view order.
bool listWindowView(FolderWalker* w, IDispatch* window) {
    IServiceProvider* services = nullptr;
    IShellBrowser* browser = nullptr;
    IShellView* view = nullptr;
    bool ok = false;
    if (SUCCEEDED(window->QueryInterface(kIidServiceProvider, reinterpret_cast<void**>(&services))) && services &&
        SUCCEEDED(services->QueryService(kSidTopLevelBrowser, kIidShellBrowser, reinterpret_cast<void**>(&browser))) && browser &&
        SUCCEEDED(browser->QueryActiveShellView(&view)) && view &&
        SUCCEEDED(view->QueryInterface(kIidFolderView, reinterpret_cast<void**>(&w->folderView))) && w->folderView &&
        SUCCEEDED(w->folderView->GetFolder(kIidShellFolder, reinterpret_cast<void**>(&w->folder))) && w->folder) {
        w->current = w->start = 0;
        ok = enumerateView(w->folderView, SVGIO_ALLVIEW | SVGIO_FLAG_VIEWORDER, &w->items, &w->itemCount);
    }
    if (!ok) {
        release(w->folder);
        release(w->folderView);
    }
    release(view);
    release(browser);
    release(services);
    return ok;
}

bool listShellWindow(FolderWalker* w) {
    IShellWindows* windows = nullptr;
    if (FAILED(CoCreateInstance(kClsidShellWindows, nullptr, CLSCTX_ALL, kIidShellWindows, reinterpret_cast<void**>(&windows))) ||
        !windows)
        return false;
    bool listed = false;
    if (w->window == GetShellWindow()) {
        VARIANT desktop, root;
        VariantInit(&desktop);
        VariantInit(&root);
        desktop.vt = VT_I4;
        desktop.lVal = CSIDL_DESKTOP;
        long handle = 0;
        IDispatch* dispatch = nullptr;
        if (windows->FindWindowSW(&desktop, &root, SWC_DESKTOP, &handle, SWFO_NEEDDISPATCH, &dispatch) == S_OK && dispatch) {
            listed = listWindowView(w, dispatch);
            dispatch->Release();
        }
    } else {
        for (long index = 0; !listed; ++index) {
            VARIANT at;
            VariantInit(&at);
            at.vt = VT_I4;
            at.lVal = index;
            IDispatch* dispatch = nullptr;
            if (windows->Item(at, &dispatch) != S_OK || !dispatch)
                break;
            IWebBrowserApp* browser = nullptr;
            SHANDLE_PTR handle = 0;
            if (SUCCEEDED(dispatch->QueryInterface(kIidWebBrowserApp, reinterpret_cast<void**>(&browser))) && browser &&
                SUCCEEDED(browser->get_HWND(&handle)) && reinterpret_cast<HWND>(handle) == w->window)
                listed = listWindowView(w, dispatch);
            release(browser);
            dispatch->Release();
        }
    }
    windows->Release();
    return listed;
}

bool enumerateFolder(IShellFolder* folder, SHCONTF flags, LPITEMIDLIST** items, u32* count) {
    IEnumIDList* list = nullptr;
    if (folder->EnumObjects(nullptr, flags, &list) != S_OK || !list)
        return false;
    bool ok = enumerate(list, items, count);
    list->Release();
    return ok;
}

// The folder's own enumeration, for a file opened any other way. The folder holds the open
// file, so an empty list is never the answer: Wine's shell folders list nothing for
// SHCONTF_STORAGE, and there the folders and files are asked for by name instead.
bool listFolder(FolderWalker* w, LPITEMIDLIST folderList) {
    IShellFolder* desktop = nullptr;
    bool ok = false;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop &&
        SUCCEEDED(desktop->BindToObject(folderList, nullptr, kIidShellFolder, reinterpret_cast<void**>(&w->folder))) && w->folder) {
        w->folderView = nullptr;
        w->current = w->start = 0;
        ok = enumerateFolder(w->folder, SHCONTF_STORAGE, &w->items, &w->itemCount);
        if (ok && w->itemCount == 0) {
            freeItems(w->items, 0);
            w->items = nullptr;
            ok = enumerateFolder(w->folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &w->items, &w->itemCount);
        }
    }
    if (!ok)
        release(w->folder);
    release(desktop);
    ILFree(folderList);
    return ok;
}

bool findThroughSelection(FolderWalker* w) {
    LPITEMIDLIST* selected = nullptr;
    u32 selectedCount = 0;
    if (!enumerateView(w->folderView, SVGIO_SELECTION, &selected, &selectedCount))
        return false;
    bool found = false;
    wchar_t name[MAX_PATH];
    for (u32 s = 0; s < selectedCount && !found; ++s) {
        if (!parsingName(w->folder, selected[s], name) || !samePath(name, w->path))
            continue;
        for (u32 i = 0; i < w->itemCount; ++i) {
            if (sameItemIdList(selected[s], w->items[i])) {
                w->current = w->start = i;
                found = true;
                break;
            }
        }
    }
    freeItems(selected, selectedCount);
    return found;
}

bool findByName(FolderWalker* w) {
    wchar_t name[MAX_PATH];
    for (u32 i = 0; i < w->itemCount; ++i) {
        if (parsingName(w->folder, w->items[i], name) && samePath(name, w->path)) {
            w->current = w->start = i;
            return true;
        }
    }
    return false;
}

void forgetList(FolderWalker* w) {
    release(w->folderView);
    release(w->folder);
    freeItems(w->items, w->itemCount);
    w->items = nullptr;
    w->itemCount = 0;
}

// The list and the open file's place in it; the state says how it went.
void listAndFind(FolderWalker* w) {
    bool listed = w->window && listShellWindow(w);
    if (!listed) {
        if (!w->path) {
            w->state = kWalkerFailed;
            return;
        }
        // No parsing name reaches MAX_PATH units, so a longer path can never be found:
        // it is refused here rather than copied into the folder buffer.
        wchar_t folderPath[MAX_PATH];
        if (!copyPath(folderPath, w->path)) {
            w->state = kWalkerFailed;
            return;
        }
        PathRemoveFileSpecW(folderPath);
        LPITEMIDLIST folderList = ILCreateFromPathW(folderPath);
        if (!folderList || !listFolder(w, folderList)) {
            w->state = kWalkerFailed;
            return;
        }
    }
    if (w->path && !((w->folderView && findThroughSelection(w)) || findByName(w))) {
        forgetList(w);
        w->state = kWalkerFailed;
        return;
    }
    w->state = kWalkerReady;
}

DWORD WINAPI listingThread(void* parameter) {
    FolderWalker* w = static_cast<FolderWalker*>(parameter);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 0;
    listAndFind(w);
    CoUninitialize();
    return 0;
}

}  // namespace

FolderWalker* startFolderWalker(const wchar_t* path, HWND window) {
    FolderWalker* w = static_cast<FolderWalker*>(allocate(sizeof(FolderWalker)));
    if (!w)
        return nullptr;
    *w = FolderWalker{};
    w->window = window;
    if (path) {
        u64 length = textLength(path);
        w->path = static_cast<wchar_t*>(allocate((length + 1) * sizeof(wchar_t)));
        if (w->path)
            __builtin_memcpy(w->path, path, (length + 1) * sizeof(wchar_t));
    }
    w->thread = CreateThread(nullptr, 0, listingThread, w, 0, nullptr);
    if (!w->thread) {
        if (w->path)
            deallocate(w->path);
        deallocate(w);
        return nullptr;
    }
    return w;
}

bool waitForFolderWalker(FolderWalker* w) {
    if (w->thread) {
        WaitForSingleObject(w->thread, INFINITE);
        CloseHandle(w->thread);
        w->thread = nullptr;
        if (w->path)
            deallocate(w->path);
        w->path = nullptr;
    }
    return w->state == kWalkerReady;
}

bool stepFolderWalker(FolderWalker* w, wchar_t path[MAX_PATH], bool backward) {
    if (!waitForFolderWalker(w) || w->itemCount == 0)
        return false;
    u32 next = backward ? (w->current == 0 ? w->itemCount - 1 : w->current - 1)
                        : (w->current + 1 == w->itemCount ? 0 : w->current + 1);
    w->current = next;
    if (next == w->start)
        return false;
    return parsingName(w->folder, w->items[next], path);
}

void discardFolderWalker(FolderWalker* w) {
    if (!w)
        return;
    if (waitForFolderWalker(w))
        forgetList(w);
    deallocate(w);
}

void restartFolderWalker(FolderWalker** walker, HMENU menu, const wchar_t* path, HWND window) {
    discardFolderWalker(*walker);
    *walker = startFolderWalker(path, window);
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = *walker ? MFS_ENABLED : MFS_DISABLED;
    SetMenuItemInfoW(menu, kCommandPreviousFile, FALSE, &item);
    SetMenuItemInfoW(menu, kCommandNextFile, FALSE, &item);
}
