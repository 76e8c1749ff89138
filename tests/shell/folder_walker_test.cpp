// The walker on real folders under Wine. Wine offers no Explorer windows, so these run the
// folder's own enumeration; the expected order is the shell's own, read here independently.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "shell/folder_walker_win.h"
#include "support/temp_folder_win.h"

namespace {

// The parsing names of the folder's items in the shell's own enumeration order (storage
// items, or where the shell lists none of those, as Wine's does, folders and files).
std::vector<std::wstring> shellOrder(const std::wstring& path, SHCONTF flags = SHCONTF_STORAGE) {
    std::vector<std::wstring> names;
    LPITEMIDLIST list = ILCreateFromPathW(path.c_str());
    IShellFolder* folder = nullptr;
    SHBindToObject(nullptr, list, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder));
    IEnumIDList* items = nullptr;
    if (folder->EnumObjects(nullptr, flags, &items) == S_OK && items) {
        LPITEMIDLIST item;
        while (items->Next(1, &item, nullptr) == S_OK) {
            STRRET name;
            wchar_t* text = nullptr;
            folder->GetDisplayNameOf(item, SHGDN_FORPARSING, &name);
            StrRetToStrW(&name, item, &text);
            names.push_back(text);
            CoTaskMemFree(text);
            CoTaskMemFree(item);
        }
        items->Release();
    }
    folder->Release();
    ILFree(list);
    return names.empty() && flags == SHCONTF_STORAGE ? shellOrder(path, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS) : names;
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

// Thousands of files, stepped through from the middle both ways; a run stops when it comes
// back to its start, and the next run goes round again.
TEST(FolderWalker, StepsInTheShellsOrderBothWaysAndStopsAfterARound) {
    TempFolder folder(L"walker-order-");
    for (int i = 0; i < 2500; ++i)
        folder.write(L"part" + std::to_wstring(i) + (i % 7 ? L".stl" : L".txt"));
    std::vector<std::wstring> order = shellOrder(folder.path());
    ASSERT_EQ(order.size(), 2500u);
    FolderWalker* walker = startFolderWalker(order[1234].c_str(), nullptr);
    ASSERT_TRUE(waitForFolderWalker(walker));
    EXPECT_EQ(walker->folderView, nullptr) << "no Explorer window: the folder's own enumeration";
    for (bool backward : {false, true, true})
        EXPECT_EQ(run(walker, backward), rotated(order, order[1234], backward)) << "backward " << backward;
    discardFolderWalker(walker);
}

// One file, paths that name no file of a folder, a window that shows no folder; names whose
// full path is 259 units are returned, while at 260 units a step ends the run; and many
// walkers come and go with handles and memory staying where they were.
TEST(FolderWalker, OddPathsNamesAtTheLimitAndNoLeaks) {
    TempFolder folder(L"walker-odd-");
    std::wstring only = folder.write(L"only.stl");
    wchar_t path[MAX_PATH];

    // One file: the first step comes back to it, also where the window shows no folder and
    // the walker falls back to the folder's enumeration. The parsing name is compared
    // exactly; a path past MAX_PATH is refused, not copied.
    const std::tuple<std::wstring, HWND, bool> starts[] = {
        {only, nullptr, true}, {only, GetDesktopWindow(), true}, {folder.path() + L"\\ONLY.stl", nullptr, false},
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
