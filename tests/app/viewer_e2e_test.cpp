// The viewer as a user meets it: each test starts vantorel.exe with a command line and
// reads its window from this second process (texts, list selections, enabled states, the
// tree through memory in the viewer's process), drives it with real messages and mouse
// clicks, and compares what it shows with what vantorel-info reports on the same file.
// Waits poll with a deadline; nothing sleeps a fixed time.
#include "support/remote_viewer_win.h"

#include <sddl.h>

namespace {

class Registry {
public:
    static void clear() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Vantorel"); }
    static bool exists() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vantorel", 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    static DWORD flipZoom() {
        DWORD value = 0xDEAD, size = 4;
        RegGetValueW(HKEY_CURRENT_USER, L"Software\\Vantorel", L"FlipZoom", RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    }
    static void set(const wchar_t* name, DWORD value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Vantorel", name, REG_DWORD, &value, 4);
    }
    static void setText(const wchar_t* name, const wchar_t* text) {
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Vantorel", name, REG_SZ, text, DWORD(2 * (lstrlenW(text) + 1)));
    }
};

}  // namespace

// Every fixture, reached by stepping through their folder with Next File from one start:
// what the window shows agrees with the console tool, file by file.
TEST(Viewer, ShowsWhatTheConsoleToolReportsForEveryFixture) {
    const wchar_t* names[] = {L"box_z_up.stl", L"broken.stl", L"cafe_utf8.stl", L"coloured_bgr.stl",
                              L"coloured_rgb.stl", L"cube_ascii.stl", L"cube_binary.stl", L"flat_onshape.stl",
                              L"fusion_y_up.stl", L"inches.stl", L"two_blocks.stl", L"two_solids.stl"};
    std::vector<std::wstring> paths;
    for (const wchar_t* name : names)
        paths.push_back(fixture(name));
    std::map<std::wstring, Json> reports = consoleReports(paths);
    ASSERT_EQ(reports.size(), paths.size());

    Viewer viewer({fixture(L"cube_ascii.stl")});
    ASSERT_TRUE(viewer.waitShown(L"cube_ascii.stl"));
    EXPECT_EQ(viewer.menuState(kCommandNextFile), 0u);
    EXPECT_EQ(viewer.menuState(kCommandPreviousFile), 0u);
    std::vector<std::wstring> seen;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::wstring name = viewer.title().substr(kTitlePrefix.size());
        ASSERT_TRUE(reports.count(name)) << narrow(name);
        seen.push_back(name);
        expectShows(viewer, reports[name]);
        viewer.command(kCommandNextFile);
        ASSERT_TRUE(viewer.waitLoaded());
    }
    // Back at the first after a full round; every STL fixture was shown once, the text file never.
    EXPECT_EQ(viewer.title(), kTitlePrefix + L"cube_ascii.stl");
    std::sort(seen.begin(), seen.end());
    std::vector<std::wstring> all(names, names + paths.size());
    EXPECT_EQ(seen, all);
    viewer.command(kCommandExit);
    EXPECT_EQ(viewer.waitExit(), 0u);
}

// Without a file the window is empty with Previous and Next greyed; with several
// arguments only the first opens; a missing file and a text file each end in the failure
// state with their messages kept; the title of a long name is cut with an ellipsis.
TEST(Viewer, StartsEmptyWithTheFirstArgumentOrInTheFailureState) {
    Registry::clear();
    {
        Viewer viewer({});
        EXPECT_EQ(viewer.title(), kTitle);
        EXPECT_TRUE(IsWindowVisible(viewer.control(kProgressId)));
        EXPECT_FALSE(IsWindowVisible(viewer.control(kViewId)));
        EXPECT_EQ(viewer.menuState(kCommandNextFile), UINT(MF_GRAYED));
        EXPECT_EQ(viewer.menuState(kCommandPreviousFile), UINT(MF_GRAYED));
        EXPECT_EQ(viewer.menuState(kCommandFlipZoom), 0u);
        EXPECT_EQ(viewer.text(kMessagesId), L"");
        EXPECT_TRUE(viewer.tree().empty());
        EXPECT_FALSE(viewer.enabled(kSpaceListId));
        EXPECT_FALSE(viewer.enabled(kMaterialCheckId));
        viewer.command(kCommandNextFile);  // nothing to step through
        EXPECT_EQ(viewer.title(), kTitle);
        viewer.post(viewer.window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(viewer.waitExit(), 0u);
    }
    std::wstring longName = std::wstring(240, L'n') + L".stl";
    std::wstring missing = fixture(longName.c_str());
    std::map<std::wstring, Json> reports = consoleReports({missing, fixture(L"not_stl.txt")});
    {
        Viewer viewer({missing, fixture(L"cube_ascii.stl")});
        ASSERT_TRUE(viewer.waitLoaded());
        std::wstring title = viewer.title();
        EXPECT_EQ(title.size(), 255u);
        EXPECT_EQ(title, kTitlePrefix + longName.substr(0, 232) + L"\u2026");
        EXPECT_FALSE(reports[longName]["messages"].items.empty());
        expectShows(viewer, reports[longName]);
    }
    {
        Viewer viewer({fixture(L"not_stl.txt")});
        ASSERT_TRUE(viewer.waitShown(L"not_stl.txt"));
        expectShows(viewer, reports[L"not_stl.txt"]);
        EXPECT_TRUE(viewer.messageLines().empty());
    }
}

namespace {

// "W x D; H tall" as its three lengths.
std::vector<std::wstring> dimensions(const std::wstring& line) {
    size_t x = line.find(L" x "), semicolon = line.find(L"; "), tall = line.rfind(L" tall");
    return {line.substr(0, x), line.substr(x + 3, semicolon - x - 3), line.substr(semicolon + 2, tall - semicolon - 2)};
}

}  // namespace

// Next and Previous File (and the arrow keys over the 3D view) visit the STL files of a
// folder in the shell's order, told by content, wrapping; a folder without another STL file
// changes nothing. The view options, the coordinate space, the object checkboxes (clicked
// with the mouse) and a file dropped on the window, in one run.
TEST(Viewer, CommandsStepToggleAndDrop) {
    TestFolder folder(L"vantorel_steps");
    std::string two = asciiSolid("first", 0) + asciiSolid("tab\tbed", 20);
    folder.add(L"a.stl", asciiSolid("alpha", 0));
    folder.add(L"b.txt", "solid? no, a note\n");
    folder.add(L"c.dat", binaryStl(12));  // STL by content, not by name
    folder.add(L"d.stl", "a text file with the extension of a model\n");
    folder.add(L"e.stl", two);
    std::vector<std::wstring> stlOrder;
    for (const std::wstring& path : folder.shellOrder())
        if (nameOf(path) != L"b.txt" && nameOf(path) != L"d.stl")
            stlOrder.push_back(nameOf(path));
    ASSERT_EQ(stlOrder.size(), 3u);
    std::rotate(stlOrder.begin(), std::find(stlOrder.begin(), stlOrder.end(), L"a.stl"), stlOrder.end());
    std::map<std::wstring, Json> reports;

    Viewer viewer({fixture(L"cube_ascii.stl")});
    ASSERT_TRUE(viewer.waitShown(L"cube_ascii.stl"));
    // A dropped file opens as File, Open would; of several, the first.
    std::vector<std::wstring> paths = folder.shellOrder();
    std::wstring aPath = paths[std::find_if(paths.begin(), paths.end(), [](const std::wstring& p) {
                                    return nameOf(p) == L"a.stl";
                                }) - paths.begin()];
    dropFiles(viewer, {aPath, fixture(L"two_solids.stl")});
    ASSERT_TRUE(viewer.waitShown(L"a.stl"));
    reports = consoleReports(paths);

    for (size_t i = 1; i <= 3; ++i) {
        viewer.command(kCommandNextFile);
        ASSERT_TRUE(viewer.waitShown(stlOrder[i % 3])) << i;
        expectShows(viewer, reports[stlOrder[i % 3]]);
    }
    for (size_t i = 1; i <= 3; ++i) {
        viewer.command(kCommandPreviousFile);
        ASSERT_TRUE(viewer.waitShown(stlOrder[(3 - i) % 3])) << i;
    }
    // The arrow keys, with the 3D view focused (as after every load).
    viewer.post(viewer.control(kViewId), WM_KEYDOWN, VK_RIGHT, 0);
    ASSERT_TRUE(viewer.waitShown(stlOrder[1]));
    viewer.post(viewer.control(kViewId), WM_KEYDOWN, VK_LEFT, 0);
    ASSERT_TRUE(viewer.waitShown(stlOrder[0]));
    while (viewer.title() != kTitlePrefix + L"e.stl") {
        viewer.command(kCommandNextFile);
        ASSERT_TRUE(viewer.waitLoaded());
    }
    ASSERT_TRUE(viewer.waitShown(L"e.stl"));
    expectShows(viewer, reports[L"e.stl"]);

    EXPECT_EQ(viewer.menuState(kCommandWireframe), 0u);
    viewer.command(kCommandWireframe);
    EXPECT_EQ(viewer.menuState(kCommandWireframe), UINT(MF_CHECKED));
    viewer.command(kCommandWireframe);
    EXPECT_EQ(viewer.menuState(kCommandWireframe), 0u);

    // Clicks on the objects' checkboxes hide them; clicked again, they are back. The file
    // item's checkbox cannot be cleared.
    std::vector<TreeItem> tree = viewer.tree();
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(viewer.solidVisible(), std::vector<u8>({1, 1}));
    viewer.clickCheckbox(tree[1].handle);  // the last solid, listed first
    EXPECT_TRUE(waitFor([&] { return viewer.solidVisible() == std::vector<u8>({1, 0}); }, 5000));
    EXPECT_FALSE(viewer.tree()[1].checked);
    EXPECT_TRUE(viewer.tree()[2].checked);
    viewer.clickCheckbox(tree[0].handle);
    viewer.clickCheckbox(tree[1].handle);
    EXPECT_TRUE(waitFor([&] { return viewer.solidVisible() == std::vector<u8>({1, 1}); }, 5000));
    EXPECT_TRUE(viewer.tree()[0].checked);
    EXPECT_TRUE(viewer.tree()[1].checked);

    // Esc ends the process with exit code 0.
    viewer.post(viewer.control(kViewId), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(viewer.waitExit(), 0u);
}

// A folder with no other STL file: the steps go all the way round and nothing changes.
// A large load superseded by a small one leaves only the small one, and its memory goes;
// Exit and Esc end the process with exit code 0 during a load.
TEST(Viewer, LoadsSupersededAndLeftDuringLoading) {
    TestFolder folder(L"vantorel_loads");
    std::wstring large = folder.add(L"large.bin", binaryStl(1500000));
    SIZE_T baseline;
    TestFolder lonely(L"vantorel_lonely");
    std::wstring alone = lonely.add(L"alone.stl", asciiSolid("alone", 0));
    lonely.add(L"readme.txt", "words that are not a model\n");
    {
        Viewer viewer({alone});
        ASSERT_TRUE(viewer.waitShown(L"alone.stl"));
        std::wstring messages = viewer.text(kMessagesId);
        viewer.command(kCommandNextFile);
        viewer.command(kCommandPreviousFile);
        EXPECT_EQ(viewer.title(), kTitlePrefix + L"alone.stl");
        EXPECT_FALSE(IsWindowVisible(viewer.control(kProgressId)));
        EXPECT_EQ(viewer.text(kMessagesId), messages);
        baseline = viewer.privateBytes();
        viewer.command(kCommandExit);
        EXPECT_EQ(viewer.waitExit(), 0u);
    }
    {
        Viewer viewer({large});
        bool stillLoading = IsWindowVisible(viewer.control(kProgressId));
        dropFiles(viewer, {alone});
        ASSERT_TRUE(viewer.waitShown(L"alone.stl"));
        EXPECT_TRUE(stillLoading);
        std::vector<std::wstring> lines = loadMessages(viewer);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), L"file loaded successfully"), 1);
        EXPECT_EQ(viewer.tree().size(), 2u);
        // 1.5 million triangles take over 120 MB of vertices while they are held.
        EXPECT_TRUE(waitFor([&] { return viewer.privateBytes() < baseline + (64u << 20); }))
            << viewer.privateBytes() << " bytes against " << baseline;
        EXPECT_EQ(viewer.title(), kTitlePrefix + L"alone.stl");
    }
    {
        Viewer viewer({large});
        EXPECT_TRUE(IsWindowVisible(viewer.control(kProgressId)));
        viewer.post(viewer.window(), WM_COMMAND, kCommandExit, 0);
        EXPECT_EQ(viewer.waitExit(), 0u);
    }
    {
        Viewer viewer({large});
        viewer.post(viewer.window(), WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(viewer.waitExit(), 0u);
    }
}

namespace {

// Refuses changes to the settings key (reading stays allowed) while it lives.
class ReadOnlySettings {
public:
    ReadOnlySettings() { protect(L"D:P(A;;KR;;;WD)"); }
    ~ReadOnlySettings() { protect(L"D:(A;;KA;;;WD)"); }

private:
    static void protect(const wchar_t* sddl) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr);
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vantorel", 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
            RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
            RegCloseKey(key);
        }
        LocalFree(descriptor);
    }
};

}  // namespace

// Flip Zoom and the default object colour, in the test prefix's own registry: defaults
// without the key, the key made by the first toggle and read at the next start, any
// non-zero "FlipZoom" on, a string colour ignored, a stored colour used as it is, and a
// refused write reported in the message box.
TEST(Viewer, SettingsLiveInTheRegistry) {
    Registry::clear();
    std::wstring cube = fixture(L"cube_ascii.stl");
    {
        Viewer viewer({cube});
        ASSERT_TRUE(viewer.waitShown(L"cube_ascii.stl"));
        EXPECT_FALSE(Registry::exists());
        EXPECT_EQ(viewer.menuState(kCommandFlipZoom), 0u);
        EXPECT_EQ(viewer.meshColour(), 0xFFF0F0F0u);
        viewer.command(kCommandFlipZoom);
        EXPECT_TRUE(Registry::exists());
        EXPECT_EQ(Registry::flipZoom(), 1u);
        EXPECT_EQ(viewer.menuState(kCommandFlipZoom), UINT(MF_CHECKED));
        EXPECT_TRUE(viewer.viewState().flipZoom);
        viewer.command(kCommandExit);
        EXPECT_EQ(viewer.waitExit(), 0u);
    }
    {
        Viewer viewer({cube});
        ASSERT_TRUE(viewer.waitShown(L"cube_ascii.stl"));
        EXPECT_EQ(viewer.menuState(kCommandFlipZoom), UINT(MF_CHECKED));
        EXPECT_TRUE(viewer.viewState().flipZoom);
    }
    Registry::set(L"FlipZoom", 5);
    Registry::setText(L"DefaultObjectColor", L"0xFF0000FF");
    {
        Viewer viewer({cube});
        ASSERT_TRUE(viewer.waitShown(L"cube_ascii.stl"));
        EXPECT_EQ(viewer.menuState(kCommandFlipZoom), UINT(MF_CHECKED));
        EXPECT_EQ(viewer.meshColour(), 0xFFF0F0F0u);
        viewer.command(kCommandFlipZoom);
        EXPECT_EQ(Registry::flipZoom(), 0u);
        EXPECT_EQ(viewer.menuState(kCommandFlipZoom), 0u);
    }
    Registry::set(L"DefaultObjectColor", 0x20406080);
    {
        Viewer viewer({cube});
        ASSERT_TRUE(viewer.waitShown(L"cube_ascii.stl"));
        EXPECT_EQ(viewer.menuState(kCommandFlipZoom), 0u);
        EXPECT_EQ(viewer.meshColour(), 0x80604020u);  // the fourth byte as stored
        ReadOnlySettings refused;
        viewer.command(kCommandFlipZoom);
        EXPECT_EQ(viewer.menuState(kCommandFlipZoom), UINT(MF_CHECKED));  // kept for this run
        EXPECT_EQ(viewer.messageLines().back(), L"<unknown>");
    }
    EXPECT_EQ(Registry::flipZoom(), 0u);
    Registry::clear();
}
