// The viewer as a user meets it: each test starts vantorel.exe with a command line and
// reads its window from this second process (texts, list selections, enabled states, the
// tree through memory in the viewer's process), drives it with real messages and mouse
// clicks, and compares what it shows with what vantorel-info reports on the same file.
// Each start costs a second under Wine, so one run goes through many checks.
#include "support/remote_viewer_win.h"

#include <sddl.h>

#include <functional>

namespace {

const wchar_t kKey[] = L"Software\\Vantorel";

DWORD storedSetting(const wchar_t* name) {
    DWORD value = 0xDEAD, size = 4;
    RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

// The setting's menu check and the view's flag.
void expectSetting(const Viewer& viewer, WPARAM command, bool on) {
    ViewState view = viewer.viewState();
    EXPECT_EQ(viewer.menuState(command), on ? UINT(MF_CHECKED) : 0u) << command;
    EXPECT_EQ(command == kCommandFlipZoom ? view.flipZoom : view.showOpenEdges, on) << command;
}

// Pixels of the marks' colour on the default grey object: magenta.
u32 markPixels(const Viewer& viewer) {
    return windowPixels(viewer.control(kViewId), true).count([](u32 rgb) {
        u32 r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
        return r > g + 80 && b > g + 80;
    });
}

void store(const wchar_t* name, DWORD type, const void* value, DWORD size) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, type, value, size);
}

// Allows or refuses changes to the settings key (reading stays allowed).
void allowWrites(bool allow) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(allow ? L"D:(A;;KA;;;WD)" : L"D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                         &descriptor, nullptr);
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(key);
    }
    LocalFree(descriptor);
}

}  // namespace

// Without a file the window is empty with Previous and Next greyed; the settings have their
// defaults and no key until Flip Zoom is toggled, which writes it. Show Open Edges draws a
// cut-open cube's hole in the marks' colour, only while on, and is remembered too. At the
// next start Flip Zoom and Show Open Edges are on; of several arguments only the first opens; a missing file (its long name cut
// in the title) and a text file each end in the failure state; a stored colour is used as
// it is; a refused write is reported in the message box.
TEST(Viewer, StartStatesAndSettings) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    {
        SCOPED_TRACE("phase: first start, no settings");
        Viewer viewer({});
        EXPECT_EQ(viewer.title(), kTitle);
        EXPECT_TRUE(viewer.visible(kProgressId));
        EXPECT_FALSE(viewer.visible(kViewId));
        EXPECT_EQ(viewer.menuState(kCommandNextFile), UINT(MF_GRAYED));
        EXPECT_EQ(viewer.menuState(kCommandPreviousFile), UINT(MF_GRAYED));
        expectShows(viewer, Report{});  // nothing shown, nothing to change
        viewer.command(kCommandNextFile);  // nothing to step through
        EXPECT_EQ(viewer.title(), kTitle);
        ASSERT_TRUE(viewer.open({fixture(L"cube_ascii.stl")}));
        HKEY key;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(viewer.meshColour(), 0xFFF0F0F0u);
        expectSetting(viewer, kCommandFlipZoom, false);
        viewer.command(kCommandFlipZoom);
        EXPECT_EQ(storedSetting(L"FlipZoom"), 1u);
        expectSetting(viewer, kCommandFlipZoom, true);

        TempFolder folder{L"vantorel_edges_"};
        const f32 lo[3] = {0, 0, 0}, hi[3] = {10, 10, 10};
        std::vector<BinaryTriangle> open = box(lo, hi);
        open.erase(open.begin() + 2, open.begin() + 4);  // the top
        ASSERT_TRUE(viewer.open({folder.write(L"open_cube.stl", BinaryStlBuilder().block(open).bytes())}));
        EXPECT_TRUE(waitFor([&] { return !viewer.text(kMeshLineId).empty(); })) << "waited for the mesh line";
        EXPECT_EQ(viewer.text(kMeshLineId).substr(0, 19), L"mesh: 4 open edges,");
        EXPECT_EQ(markPixels(viewer), 0u);
        viewer.command(kCommandShowOpenEdges);
        EXPECT_EQ(storedSetting(L"ShowOpenEdges"), 1u);
        expectSetting(viewer, kCommandShowOpenEdges, true);
        // The frame is set into the view through GDI once drawn.
        EXPECT_TRUE(waitFor([&] { return markPixels(viewer) > 40; })) << "waited for the hole's edges on screen";
    }
    SCOPED_TRACE("phase: second start, stored settings");
    DWORD colour = 0x20406080;
    store(L"DefaultObjectColor", REG_DWORD, &colour, 4);
    std::wstring longName = std::wstring(240, L'n') + L".stl";
    std::map<std::wstring, Report> reports = consoleReports({fixture(longName.c_str()), fixture(L"not_stl.txt")});
    Viewer viewer({fixture(longName.c_str()), fixture(L"cube_ascii.stl")});
    ASSERT_TRUE(viewer.waitLoaded());
    EXPECT_EQ(viewer.title(), kTitlePrefix + longName.substr(0, 232) + L"\u2026");  // 255 characters
    expectSetting(viewer, kCommandFlipZoom, true);
    expectSetting(viewer, kCommandShowOpenEdges, true);
    EXPECT_FALSE(reports[longName].all(L"\"messages\": [").empty());
    expectShows(viewer, reports[longName]);
    ASSERT_TRUE(viewer.open({fixture(L"not_stl.txt")}));
    expectShows(viewer, reports[L"not_stl.txt"]);

    SCOPED_TRACE("phase: a refused write");
    ASSERT_TRUE(viewer.open({fixture(L"cube_ascii.stl")}));
    EXPECT_EQ(viewer.meshColour(), 0x80604020u);  // the fourth byte as stored
    allowWrites(false);
    viewer.command(kCommandFlipZoom);
    allowWrites(true);
    expectSetting(viewer, kCommandFlipZoom, false);  // kept for this run
    std::vector<std::wstring> lines = viewer.messageLines();
    ASSERT_FALSE(lines.empty()) << "the message box could not be read";
    EXPECT_EQ(lines.back(), L"<unknown>");
    EXPECT_EQ(storedSetting(L"FlipZoom"), 1u);
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
}

// One run: any non-zero FlipZoom is on and a string colour is ignored; every fixture,
// reached with Next File, shows what the console tool reports; the coordinate space swaps
// depth and height. Then a folder of the test's own: a dropped file opens (of several, the
// first), Next and Previous File and the arrow keys visit its STL files told by content,
// wrapping; Wireframe toggles; clicks on the objects' checkboxes hide them. A folder without
// another STL file changes nothing. (Superseded loads and the ways out are the stress tests'.)
TEST(Viewer, StepsTogglesAndLoads) {
    DWORD five = 5;
    store(L"FlipZoom", REG_DWORD, &five, 4);
    store(L"DefaultObjectColor", REG_SZ, L"0xFF0000FF", 22);
    std::map<std::wstring, Report> reports = consoleReports({windowsPath(VANTOREL_FIXTURES)});
    ASSERT_EQ(reports.erase(L"not_stl.txt"), 1u);
    ASSERT_EQ(reports.size(), 12u);

    Viewer viewer({fixture(L"cube_ascii.stl")});
    ASSERT_TRUE(viewer.waitShown(L"cube_ascii.stl"));
    // The mesh line is filled once the check, on a thread of its own, has ended.
    EXPECT_TRUE(waitFor([&] { return !viewer.text(kMeshLineId).empty(); })) << "waited for the mesh line";
    EXPECT_EQ(viewer.text(kMeshLineId), L"mesh: closed, 1 shell, volume 1.00\u2009cm\u00b3, area 6.00\u2009cm\u00b2");
    EXPECT_EQ(viewer.menuState(kCommandFlipZoom), UINT(MF_CHECKED));
    EXPECT_EQ(viewer.meshColour(), 0xFFF0F0F0u);
    viewer.command(kCommandFlipZoom);
    EXPECT_EQ(storedSetting(L"FlipZoom"), 0u);
    EXPECT_EQ(viewer.menuState(kCommandFlipZoom), 0u);
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    EXPECT_EQ(viewer.menuState(kCommandNextFile), 0u);
    EXPECT_EQ(viewer.menuState(kCommandPreviousFile), 0u);

    std::map<std::wstring, int> seen;
    SCOPED_TRACE("phase: every fixture with Next File");
    for (size_t i = 0; i < reports.size(); ++i) {
        std::wstring name = viewer.title().substr(kTitlePrefix.size());
        ASSERT_TRUE(reports.count(name)) << name;
        EXPECT_EQ(++seen[name], 1) << name;
        expectShows(viewer, reports[name]);
        for (int space = 0; space < 2 && name == L"box_z_up.stl"; ++space) {  // Y up, then back to Z up
            viewer.send(kSpaceListId, CB_SETCURSEL, space);
            viewer.command(MAKEWPARAM(kSpaceListId, CBN_SELCHANGE));
            EXPECT_EQ(viewer.text(kDimensionsLineId),
                      space ? reports[name][L"dimensions"] : L"1.00\u2009cm x 3.00\u2009cm; 2.00\u2009cm tall");
        }
        viewer.command(kCommandNextFile);
        ASSERT_TRUE(viewer.waitLoaded());
    }
    // Back at the first after a full round: every STL fixture was shown once, the text file never.
    EXPECT_EQ(viewer.title(), kTitlePrefix + L"cube_ascii.stl");

    SCOPED_TRACE("phase: stepping a folder of the test's own");
    TempFolder folder(L"vantorel_steps");
    const std::wstring first = folder.write(L"a.stl", asciiSolid("alpha", 0));
    folder.write(L"b.txt", "solid? no, a note\n");
    folder.write(L"c.dat", binaryStl(12));  // STL by content, not by name
    folder.write(L"d.stl", "a text file with the extension of a model\n");
    std::wstring two = folder.write(L"e.stl", asciiSolid("first", 0) + asciiSolid("tab\tbed", 20));
    std::vector<std::wstring> order = steppingOrder(first);
    ASSERT_EQ(order.size(), 3u);
    reports = consoleReports({first, folder.path() + L"\\c.dat", two});
    ASSERT_TRUE(viewer.open({first, fixture(L"two_solids.stl")}));
    // Next File round, Previous File back, then the arrow keys over the 3D view (focused
    // after every load): each with the file it leads to.
    const std::pair<int, size_t> steps[] = {{kCommandNextFile, 1},     {kCommandNextFile, 2},     {kCommandNextFile, 0},
                                            {kCommandPreviousFile, 2}, {kCommandPreviousFile, 1}, {kCommandPreviousFile, 0},
                                            {VK_RIGHT, 1},             {VK_LEFT, 0}};
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "step " << step.first << " to " << step.second);
        u32 begun = viewer.record().loadsBegun;
        if (step.first > 0xFF) {
            viewer.command(step.first);
        } else {
            // One press: the key goes down and up once.
            viewer.post(viewer.control(kViewId), WM_KEYDOWN, step.first, 1);
            viewer.post(viewer.control(kViewId), WM_KEYUP, step.first, 1u | 3u << 30);
        }
        ASSERT_TRUE(viewer.waitShown(order[step.second]));
        EXPECT_EQ(viewer.record().loadsBegun, begun + 1) << "one press, one step";
        expectShows(viewer, reports[order[step.second]]);
    }

    SCOPED_TRACE("phase: wireframe and the solids' checkboxes");
    ASSERT_TRUE(viewer.open({two}));
    for (UINT state : {0u, UINT(MF_CHECKED), 0u}) {
        EXPECT_EQ(viewer.menuState(kCommandWireframe), state);
        viewer.command(kCommandWireframe);
    }
    // A click on an object's checkbox hides it; clicked again, it is back. The file item's
    // checkbox cannot be cleared.
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

    SCOPED_TRACE("phase: a folder without another model");
    TempFolder lonely(L"vantorel_lonely");
    std::wstring alone = lonely.write(L"alone.stl", asciiSolid("alone", 0));
    lonely.write(L"readme.txt", "words that are not a model\n");
    ASSERT_TRUE(viewer.open({alone}));
    std::wstring messages = viewer.text(kMessagesId);
    viewer.command(kCommandNextFile);
    viewer.command(kCommandPreviousFile);
    EXPECT_EQ(viewer.title(), kTitlePrefix + L"alone.stl");
    EXPECT_FALSE(viewer.visible(kProgressId));
    EXPECT_EQ(viewer.text(kMessagesId), messages);
}

// File, Open and the colour dialog are shown by a thread of their own: while one is up the
// main window is disabled, as a modal dialog's owner is, yet answers messages and paints;
// the answer typed into the dialog opens the file or sets the colour, and the window is
// enabled again.
TEST(Viewer, DialogsLeaveTheWindowAnswering) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    Viewer viewer({});
    const std::wstring file = fixture(L"cube_ascii.stl");
    struct Case {
        WPARAM command;
        std::vector<std::pair<int, std::wstring>> fields;  // control id (cmb13, the colour edits), text
        std::function<bool()> done;
    };
    const Case cases[] = {
        {kCommandOpen, {{0x47C, file}}, [&] { return viewer.title() == kTitlePrefix + L"cube_ascii.stl" && viewer.loaded(); }},
        {kCommandDefaultMaterial, {{706, L"10"}, {707, L"20"}, {708, L"30"}}, [&] { return viewer.meshColour() == 0xFF1E140Au; }},
    };
    for (const Case& c : cases) {
        viewer.command(c.command);
        HWND dialog = nullptr;
        ASSERT_TRUE(waitFor([&] { return (dialog = viewer.dialog()) != nullptr; }, 30000)) << c.command << ": the dialog";
        EXPECT_NE(GetWindowThreadProcessId(dialog, nullptr), GetWindowThreadProcessId(viewer.window(), nullptr)) << c.command;
        EXPECT_FALSE(IsWindowEnabled(viewer.window())) << c.command;
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutW(viewer.window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0) << c.command;
        InvalidateRect(viewer.window(), nullptr, TRUE);
        EXPECT_TRUE(waitFor([&] { return !GetUpdateRect(viewer.window(), nullptr, FALSE); }, 5000)) << c.command << ": a repaint";
        for (const auto& [id, text] : c.fields)
            Viewer::ask(GetDlgItem(dialog, id), WM_SETTEXT, 0, LPARAM(text.c_str()));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(waitFor(c.done, 30000)) << c.command << ": the answer taken";
        EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(viewer.window()) && !viewer.dialog(); }, 5000)) << c.command;
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
}
