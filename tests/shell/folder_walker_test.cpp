// The walker on real folders under Wine. Wine offers no Explorer windows, so these run the
// folder's own enumeration; the expected order is the shell's own, read here independently.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <algorithm>
#include <tuple>
#include <vector>

#include "shell/folder_walker_win.h"
#include "support/temp_folder_win.h"

namespace {

// The folder's items (child ID lists, freed by the caller) in the shell's own enumeration
// order: storage items, or where the shell lists none of those, as Wine's does, folders
// and files.
std::vector<LPITEMIDLIST> folderItems(const std::wstring& path, IShellFolder** folderOut) {
    std::vector<LPITEMIDLIST> items;
    LPITEMIDLIST list = ILCreateFromPathW(path.c_str());
    IShellFolder*& folder = *folderOut;
    SHBindToObject(nullptr, list, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder));
    ILFree(list);
    for (SHCONTF flags : {SHCONTF(SHCONTF_STORAGE), SHCONTF(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS)}) {
        IEnumIDList* all = nullptr;
        if (items.empty() && folder->EnumObjects(nullptr, flags, &all) == S_OK && all) {
            LPITEMIDLIST item;
            while (all->Next(1, &item, nullptr) == S_OK)
                items.push_back(item);
            all->Release();
        }
    }
    return items;
}

// Item lists handed out one at a time, copied, as a view's enumeration does.
class ItemEnumeration : public IEnumIDList {
public:
    explicit ItemEnumeration(const std::vector<LPITEMIDLIST>& items) : items_(items) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, LPITEMIDLIST* out, ULONG* fetched) override {
        ULONG n = 0;
        for (; n < wanted && next_ < items_.size(); ++n)
            out[n] = ILClone(items_[next_++]);
        if (fetched)
            *fetched = n;
        return n == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return next_ = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumIDList**) override { return E_NOTIMPL; }

private:
    std::vector<LPITEMIDLIST> items_;  // owned by the view
    size_t next_ = 0;
    ULONG references_ = 1;
};

// An Explorer view of a real folder that shows its items in reverse, with nothing selected:
// an Explorer tab sorted the other way; or, not reversed, the shell's own order.
class ReversedView : public IFolderView {
public:
    explicit ReversedView(const std::wstring& path, bool reversed = true) : items_(folderItems(path, &folder_)) {
        if (reversed)
            std::reverse(items_.begin(), items_.end());
    }
    ~ReversedView() {
        for (LPITEMIDLIST item : items_)
            CoTaskMemFree(item);
        folder_->Release();
    }
    std::vector<std::wstring> order() const {
        std::vector<std::wstring> names;
        for (LPITEMIDLIST item : items_) {
            STRRET name;
            wchar_t* text = nullptr;
            folder_->GetDisplayNameOf(item, SHGDN_FORPARSING, &name);
            StrRetToStrW(&name, item, &text);
            names.push_back(text);
            CoTaskMemFree(text);
        }
        return names;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // the test owns it
    HRESULT STDMETHODCALLTYPE GetFolder(REFIID iid, void** out) override { return folder_->QueryInterface(iid, out); }
    HRESULT STDMETHODCALLTYPE Items(UINT which, REFIID, void** out) override {
        if ((which & 0xFF) != SVGIO_ALLVIEW)
            return *out = nullptr, E_NOTIMPL;
        *out = static_cast<IEnumIDList*>(new ItemEnumeration(items_));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentViewMode(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCurrentViewMode(UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Item(int, PITEMID_CHILD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ItemCount(UINT, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSelectionMarkedItem(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFocusedItem(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetItemPosition(PCUITEMID_CHILD, POINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSpacing(POINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDefaultSpacing(POINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAutoArrange() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SelectItem(int, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SelectAndPositionItems(UINT, PCUITEMID_CHILD_ARRAY, POINT*, DWORD) override { return E_NOTIMPL; }
    ULONG references_ = 1;

private:
    IShellFolder* folder_ = nullptr;
    std::vector<LPITEMIDLIST> items_;
};

// The parsing names of the folder's items in the shell's own enumeration order.
std::vector<std::wstring> shellOrder(const std::wstring& path) { return ReversedView(path, false).order(); }

// What the shell answers for a window in the tests below: these views, after `gate` is set.
std::vector<ReversedView*> shellViews;
HANDLE gate = nullptr;
u32 testViews(HWND, IFolderView* views[kWalkerMostViews]) {
    WaitForSingleObject(gate, 30000);
    u32 count = 0;
    for (ReversedView* view : shellViews) {
        view->AddRef();
        views[count++] = view;
    }
    return count;
}

// Every path a run of steps returns, until it stops.
std::vector<std::wstring> run(FolderWalker* walker, bool backward) {
    std::vector<std::wstring> paths;
    wchar_t path[MAX_PATH];
    while (stepFolderWalker(walker, path, backward) && paths.size() < 100000)
        paths.push_back(path);
    return paths;
}

// The shell's order from the item after `from`, wrapping, up to (not including) `from`.
std::vector<std::wstring> rotated(std::vector<std::wstring> order, const std::wstring& from, bool backward) {
    if (backward)
        std::reverse(order.begin(), order.end());
    std::rotate(order.begin(), std::find(order.begin(), order.end(), from), order.end());
    order.erase(order.begin());
    return order;
}

// The tests' thread joins the process's multithreaded apartment for good.
const HRESULT kComJoined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);

}  // namespace

// The views the shell offers for the window the file was opened from: the first whose
// folder holds the file gives the order (a window with tabs answers with several); when
// none does, or when the shell does not answer in time, the folder's own order does. The
// file's name is found in any case. Views not taken are let go at once, the taken one with
// the walker.
TEST(FolderWalker, TakesTheViewThatHoldsTheFileElseTheFoldersOwnList) {
    TempFolder shown(L"walker-shown-"), other(L"walker-other-");
    for (int i = 0; i < 6; ++i) {
        shown.write(L"s" + std::to_wstring(i) + L".stl");
        other.write(L"o" + std::to_wstring(i) + L".stl");
    }
    ReversedView shownView(shown.path()), otherView(other.path());
    const std::wstring file = shown.path() + L"\\s2.stl", upper = shown.path() + L"\\S2.STL";
    const std::vector<std::wstring> folderOrder = shellOrder(shown.path()), viewOrder = shownView.order();
    ASSERT_NE(folderOrder, viewOrder);
    gate = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    struct Case {
        const char* what;
        std::vector<ReversedView*> views;
        const std::wstring& path;
        bool shellAnswers;
        IFolderView* taken;
    };
    const Case cases[] = {
        {"no view holds the file", {&otherView}, file, true, nullptr},
        {"the second tab holds it", {&otherView, &shownView}, file, true, &shownView},
        {"the name in another case", {&shownView}, upper, true, &shownView},
        {"the shell does not answer", {&shownView}, file, false, nullptr},
    };
    for (const Case& c : cases) {
        shellViews = c.views;
        (c.shellAnswers ? SetEvent : ResetEvent)(gate);
        FolderWalker* walker = startFolderWalker(c.path.c_str(), HWND(1), testViews);
        ASSERT_NE(walker, nullptr);
        HANDLE thread = nullptr;
        DuplicateHandle(GetCurrentProcess(), walker->thread, GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE, 0);
        // The folder's own list comes first; the wait that follows has to end without the shell.
        ASSERT_EQ(WaitForSingleObject(walker->folderListed, 30000), WAIT_OBJECT_0) << c.what << ": the folder's listing";
        ASSERT_TRUE(waitForFolderWalker(walker)) << c.what;
        EXPECT_EQ(walker->list.folderView, c.taken) << c.what;
        EXPECT_EQ(run(walker, false), rotated(c.taken ? viewOrder : folderOrder, file, false)) << c.what;
        discardFolderWalker(walker);
        SetEvent(gate);
        EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0) << c.what << ": the listing thread's end";
        CloseHandle(thread);
        EXPECT_EQ(shownView.references_, 1u) << c.what;
        EXPECT_EQ(otherView.references_, 1u) << c.what;
    }
    CloseHandle(gate);
}

// One file, paths that name no file of a folder, a window that shows no folder; names whose
// full path is 259 units are returned, while at 260 units a step ends the run; and many
// walkers come and go with handles and memory staying where they were.
TEST(FolderWalker, OddPathsNamesAtTheLimitAndNoLeaks) {
    TempFolder folder(L"walker-odd-");
    std::wstring only = folder.write(L"only.stl");
    wchar_t path[MAX_PATH];

    // One file: the first step comes back to it, also where the window shows no folder and
    // the walker falls back to the folder's enumeration. The name is found in any case, as
    // Windows compares names; a path past MAX_PATH is refused, not copied.
    const std::tuple<std::wstring, HWND, bool> starts[] = {
        {only, nullptr, true}, {only, GetDesktopWindow(), true}, {folder.path() + L"\\ONLY.STL", nullptr, true},
        {folder.path() + L"\\" + std::wstring(400, L'x') + L".stl", nullptr, false}, {folder.path() + L"\\gone\\x.stl", nullptr, false},
        {L"", nullptr, false}};
    for (const auto& [name, window, found] : starts) {
        FolderWalker* walker = startFolderWalker(name.empty() ? nullptr : name.c_str(), window);
        EXPECT_EQ(waitForFolderWalker(walker), found) << name.size();
        EXPECT_FALSE(stepFolderWalker(walker, path, false)) << name.size();
        discardFolderWalker(walker);
    }

    size_t base = folder.path().size() + 1;
    ASSERT_EQ(folder.write(std::wstring(259 - base - 4, L'm') + L".stl").size(), 259u);
    ASSERT_EQ(folder.write(std::wstring(260 - base - 4, L'n') + L".stl").size(), 260u);
    std::vector<std::wstring> expected = rotated(shellOrder(folder.path()), only, false);
    expected.erase(std::find_if(expected.begin(), expected.end(), [](const std::wstring& name) { return name.size() >= MAX_PATH; }),
                   expected.end());
    FolderWalker* walker = startFolderWalker(only.c_str(), nullptr);
    ASSERT_TRUE(waitForFolderWalker(walker));
    EXPECT_EQ(run(walker, false), expected);
    discardFolderWalker(walker);

    for (int i = 0; i < 50; ++i)  // enough that a list leaked per walker shows
        folder.write(L"f" + std::to_wstring(i) + L".stl");
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | MF_GRAYED, kCommandNextFile, L"Next");
    walker = nullptr;
    auto cycle = [&](int times) {
        for (int i = 0; i < times; ++i) {
            restartFolderWalker(&walker, menu, only.c_str(), nullptr);
            stepFolderWalker(walker, path, i % 2 == 0);
        }
    };
    cycle(20);  // warm up the shell's own caches
    DWORD handles = 0, handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    PROCESS_MEMORY_COUNTERS_EX before = {}, after = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&before), sizeof before);
    cycle(300);
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&after), sizeof after);
    EXPECT_LE(handlesAfter, handles + 2);
    EXPECT_LT(after.PrivateUsage, before.PrivateUsage + 2 * 1024 * 1024);
    EXPECT_EQ(GetMenuState(menu, kCommandNextFile, MF_BYCOMMAND) & MF_GRAYED, 0u) << "a started walker enables the items";
    discardFolderWalker(walker);
    DestroyMenu(menu);
}
