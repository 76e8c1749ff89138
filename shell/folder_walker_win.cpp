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

void forgetList(WalkerList* list) {
    release(list->folderView);
    release(list->folder);
    freeItems(list->items, list->itemCount);
    *list = WalkerList{};
}

// The open file's place in the list, through the view's selection (the item the user
// opened) or else by parsing name.
bool findInList(WalkerList* list, const wchar_t* path) {
    wchar_t name[MAX_PATH];
    LPITEMIDLIST* selected = nullptr;
    u32 selectedCount = 0;
    bool found = false;
    if (list->folderView && enumerateView(list->folderView, SVGIO_SELECTION, &selected, &selectedCount)) {
        for (u32 s = 0; s < selectedCount && !found; ++s) {
            if (!parsingName(list->folder, selected[s], name) || !sameFilePath(name, path))
                continue;
            for (u32 i = 0; i < list->itemCount && !found; ++i) {
                if (sameItemIdList(selected[s], list->items[i])) {
                    list->found = i;
                    found = true;
                }
            }
        }
        freeItems(selected, selectedCount);
    }
    for (u32 i = 0; i < list->itemCount && !found; ++i) {
        if (parsingName(list->folder, list->items[i], name) && sameFilePath(name, path)) {
            list->found = i;
            found = true;
        }
    }
    return found;
}

// The view of one shell window, from its browser.
IFolderView* windowView(IDispatch* window) {
    IServiceProvider* services = nullptr;
    IShellBrowser* browser = nullptr;
    IShellView* view = nullptr;
    IFolderView* folderView = nullptr;
    if (SUCCEEDED(window->QueryInterface(kIidServiceProvider, reinterpret_cast<void**>(&services))) && services &&
        SUCCEEDED(services->QueryService(kSidTopLevelBrowser, kIidShellBrowser, reinterpret_cast<void**>(&browser))) && browser &&
        SUCCEEDED(browser->QueryActiveShellView(&view)) && view &&
        FAILED(view->QueryInterface(kIidFolderView, reinterpret_cast<void**>(&folderView))))
        folderView = nullptr;
    release(view);
    release(browser);
    release(services);
    return folderView;
}

// The desktop's icons sit in a SHELLDLL_DefView under Progman (the shell window), or under
// one of the WorkerW windows once Windows has drawn a wallpaper slideshow or a task view
// behind them; either top-level window is the desktop the user opened the file from.
bool isDesktop(HWND window) {
    if (window == GetShellWindow())
        return true;
    wchar_t name[8];
    return GetClassNameW(window, name, 8) == 7 && CompareStringOrdinal(name, 7, L"WorkerW", 7, TRUE) == CSTR_EQUAL &&
           FindWindowExW(window, nullptr, L"SHELLDLL_DefView", nullptr) != nullptr;
}

// Every shell window whose handle is `window`: Windows 11's Explorer shows its tabs in one
// top-level window, and each tab is a shell window of its own with that handle.
u32 shellWindowViews(HWND window, IFolderView* views[kWalkerMostViews]) {
    IShellWindows* windows = nullptr;
    if (FAILED(CoCreateInstance(kClsidShellWindows, nullptr, CLSCTX_ALL, kIidShellWindows, reinterpret_cast<void**>(&windows))) ||
        !windows)
        return 0;
    u32 count = 0;
    if (isDesktop(window)) {
        VARIANT desktop, root;
        VariantInit(&desktop);
        VariantInit(&root);
        desktop.vt = VT_I4;
        desktop.lVal = CSIDL_DESKTOP;
        long handle = 0;
        IDispatch* dispatch = nullptr;
        if (windows->FindWindowSW(&desktop, &root, SWC_DESKTOP, &handle, SWFO_NEEDDISPATCH, &dispatch) == S_OK && dispatch) {
            if ((views[count] = windowView(dispatch)) != nullptr)
                ++count;
            dispatch->Release();
        }
    } else {
        for (long index = 0; count < kWalkerMostViews; ++index) {
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
                SUCCEEDED(browser->get_HWND(&handle)) && reinterpret_cast<HWND>(handle) == window &&
                (views[count] = windowView(dispatch)) != nullptr)
                ++count;
            release(browser);
            dispatch->Release();
        }
    }
    windows->Release();
    return count;
}

// The first of the views whose folder holds the open file, its items in view order.
bool listFromViews(FolderWalker* w) {
    IFolderView* views[kWalkerMostViews] = {};
    u32 count = w->source(w->window, views);
    bool found = false;
    for (u32 v = 0; v < count; ++v) {
        WalkerList& list = w->viewList;
        if (!found) {
            list.folderView = views[v];
            views[v] = nullptr;
            found = SUCCEEDED(list.folderView->GetFolder(kIidShellFolder, reinterpret_cast<void**>(&list.folder))) && list.folder &&
                    enumerateView(list.folderView, SVGIO_ALLVIEW | SVGIO_FLAG_VIEWORDER, &list.items, &list.itemCount) &&
                    findInList(&list, w->path);
            if (!found)
                forgetList(&list);
        }
        release(views[v]);
    }
    return found;
}

bool enumerateFolder(IShellFolder* folder, SHCONTF flags, LPITEMIDLIST** items, u32* count) {
    IEnumIDList* list = nullptr;
    if (folder->EnumObjects(nullptr, flags, &list) != S_OK || !list)
        return false;
    bool ok = enumerate(list, items, count);
    list->Release();
    return ok;
}

// The folder's own enumeration. The folder holds the open file, so an empty list is never
// the answer: Wine's shell folders list nothing for SHCONTF_STORAGE, and there the folders
// and files are asked for by name instead.
bool listFolder(FolderWalker* w) {
    // No parsing name reaches MAX_PATH units, so a longer path can never be found: it is
    // refused here rather than copied into the folder buffer.
    wchar_t folderPath[MAX_PATH];
    if (!copyPath(folderPath, w->path))
        return false;
    PathRemoveFileSpecW(folderPath);
    LPITEMIDLIST folderId = ILCreateFromPathW(folderPath);
    IShellFolder* desktop = nullptr;
    WalkerList& list = w->folderList;
    bool ok = folderId && SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop &&
              SUCCEEDED(desktop->BindToObject(folderId, nullptr, kIidShellFolder, reinterpret_cast<void**>(&list.folder))) &&
              list.folder;
    if (ok) {
        ok = enumerateFolder(list.folder, SHCONTF_STORAGE, &list.items, &list.itemCount);
        if (ok && list.itemCount == 0) {
            freeItems(list.items, 0);
            list.items = nullptr;
            ok = enumerateFolder(list.folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &list.items, &list.itemCount);
        }
        ok = ok && findInList(&list, w->path);
    }
    if (!ok)
        forgetList(&list);
    release(desktop);
    if (folderId)
        ILFree(folderId);
    return ok;
}

// The last of the two owners frees the record and the lists nobody took.
void dropReference(FolderWalker* w) {
    if (InterlockedDecrement(&w->references) != 0)
        return;
    forgetList(&w->list);
    forgetList(&w->folderList);
    forgetList(&w->viewList);
    CloseHandle(w->thread);
    CloseHandle(w->folderListed);
    if (w->path)
        deallocate(w->path);
    deallocate(w);
}

// The folder's own list first, so that the user-interface side has it when the shell's
// views are slow to answer; then the views.
DWORD WINAPI listingThread(void* parameter) {
    FolderWalker* w = static_cast<FolderWalker*>(parameter);
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(com) && w->path) {
        listFolder(w);
        SetEvent(w->folderListed);
        if (w->window)
            listFromViews(w);
    } else {
        SetEvent(w->folderListed);
    }
    dropReference(w);
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

void takeList(FolderWalker* w, WalkerList* from) {
    w->list = *from;
    *from = WalkerList{};
    w->current = w->start = w->list.found;
    w->state = kWalkerReady;
}

}  // namespace

// CompareStringOrdinal with case ignored compares as the file system does ("Handling
// Sorting in Your Applications" and "CompareStringOrdinal", Microsoft Learn).
bool sameFilePath(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

FolderWalker* startFolderWalker(const wchar_t* path, HWND window, ShellViewSource source) {
    FolderWalker* w = static_cast<FolderWalker*>(allocate(sizeof(FolderWalker)));
    if (!w)
        return nullptr;
    *w = FolderWalker{};
    w->window = window;
    w->source = source ? source : shellWindowViews;
    w->references = 2;
    if (path) {
        u64 length = textLength(path);
        w->path = static_cast<wchar_t*>(allocate((length + 1) * sizeof(wchar_t)));
        if (w->path)
            __builtin_memcpy(w->path, path, (length + 1) * sizeof(wchar_t));
    }
    w->folderListed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (w->folderListed)
        w->thread = CreateThread(nullptr, 0, listingThread, w, 0, nullptr);
    if (!w->thread) {
        if (w->folderListed)
            CloseHandle(w->folderListed);
        if (w->path)
            deallocate(w->path);
        deallocate(w);
        return nullptr;
    }
    return w;
}

// The view's list once the thread has ended; while it works, the folder's own list once
// that is made. A thread that is still at work keeps its view list and frees it.
bool waitForFolderWalker(FolderWalker* w) {
    if (w->state != kWalkerListing)
        return w->state == kWalkerReady;
    bool ended = WaitForSingleObject(w->thread, kWalkerWaitMilliseconds) == WAIT_OBJECT_0;
    if (ended && w->viewList.items)
        takeList(w, &w->viewList);
    else if (WaitForSingleObject(w->folderListed, 0) == WAIT_OBJECT_0 && w->folderList.items)
        takeList(w, &w->folderList);
    else if (ended || WaitForSingleObject(w->folderListed, 0) == WAIT_OBJECT_0)
        w->state = kWalkerFailed;
    return w->state == kWalkerReady;
}

bool stepFolderWalker(FolderWalker* w, wchar_t path[MAX_PATH], bool backward) {
    if (!waitForFolderWalker(w) || w->list.itemCount == 0)
        return false;
    u32 count = w->list.itemCount;
    u32 next = backward ? (w->current == 0 ? count - 1 : w->current - 1) : (w->current + 1 == count ? 0 : w->current + 1);
    w->current = next;
    if (next == w->start)
        return false;
    return parsingName(w->list.folder, w->list.items[next], path);
}

void discardFolderWalker(FolderWalker* w) {
    if (w)
        dropReference(w);
}

void enableFolderWalkerItems(HMENU menu, bool enabled) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = enabled ? MFS_ENABLED : MFS_DISABLED;
    SetMenuItemInfoW(menu, kCommandPreviousFile, FALSE, &item);
    SetMenuItemInfoW(menu, kCommandNextFile, FALSE, &item);
}

void restartFolderWalker(FolderWalker** walker, HMENU menu, const wchar_t* path, HWND window) {
    discardFolderWalker(*walker);
    *walker = startFolderWalker(path, window);
    enableFolderWalkerItems(menu, *walker != nullptr);
}
