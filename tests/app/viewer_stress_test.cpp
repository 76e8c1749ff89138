// The viewer under hard use, driven from a second process: stepping storms at key-repeat
// speed, closing during large loads, files that change or vanish under a load, hostile
// files, and a monkey of random input. Each test has a short form for the test command and
// a long form (VANTOREL_SOAK=1, run by tools/soak.sh); each prints its figures on lines
// that begin with "figures:".
#include "support/hostile_inputs.h"
#include "support/remote_viewer_win.h"
#include "support/system_text_win.h"

#include <random>

#include "stl/detect.h"

namespace {

bool soak() {
    const char* value = getenv("VANTOREL_SOAK");
    return value && *value == '1';
}

// How much a session may grow between two visits to the same small file. Every load has a
// heap of its own, so a load left behind shows in the heap count exactly. Private bytes
// get room for the GPU driver: under Wine, Mesa's rasteriser threads keep memory of the
// frames of a large model after it is gone (some 300 MB after the first 2-million-triangle
// model, then tens of MB less each time), while the load's own heap and vertex buffer go.
const SIZE_T kPrivateBytesMargin = 64u << 20;
const DWORD kHandleMargin = 16, kGdiMargin = 8, kUserMargin = 8;

void printCounters(const char* what, const Viewer::Counters& c) {
    printf("figures: %s: private %.1f MB, heaps %lu, handles %lu, GDI %lu, USER %lu (Wine counts none of the last "
           "three)\n", what, c.privateBytes / 1048576.0, c.heaps, c.handles, c.gdiObjects, c.userObjects);
}

// The first frames of a window make the GPU driver's own buffers (Mesa's rasteriser
// threads under Wine take some 200 MB), once; the baseline is taken once the process has
// stopped growing for two seconds after the first load.
Viewer::Counters settledCounters(Viewer& viewer) {
    Viewer::Counters last = viewer.counters();
    DWORD stableSince = GetTickCount();
    waitFor([&] {
        Viewer::Counters now = viewer.counters();
        if (now.privateBytes > last.privateBytes + (1u << 20) || now.privateBytes + (1u << 20) < last.privateBytes) {
            last = now;
            stableSince = GetTickCount();
        }
        return GetTickCount() - stableSince > 2000;
    }, 30000, 100);
    return viewer.counters();
}

// The counters come back within the margins once every superseded job has ended.
void expectNoGrowth(Viewer& viewer, const Viewer::Counters& before) {
    Viewer::Counters after = {};
    bool settled = waitFor([&] {
        after = viewer.counters();
        return after.privateBytes <= before.privateBytes + kPrivateBytesMargin && after.heaps <= before.heaps &&
               after.handles <= before.handles + kHandleMargin && after.gdiObjects <= before.gdiObjects + kGdiMargin &&
               after.userObjects <= before.userObjects + kUserMargin;
    }, 30000);
    printCounters("before", before);
    printCounters("after", after);
    EXPECT_TRUE(settled) << "grew beyond the margins of 64 MB, no heap, 16 handles, 8 GDI and 8 USER objects";
}

// Paces events at `perSecond`, pumping in between; the schedule is absolute, so a late
// event does not push the later ones back.
class Pacer {
public:
    explicit Pacer(double perSecond) : interval_(1000.0 / perSecond) { QueryPerformanceFrequency(&frequency_); QueryPerformanceCounter(&start_); }
    void next() {
        ++count_;
        waitFor([&] { return elapsedMs() >= count_ * interval_; }, DWORD(interval_) + 1000);
    }
    double elapsedMs() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return double(now.QuadPart - start_.QuadPart) * 1000.0 / double(frequency_.QuadPart);
    }

private:
    double interval_;
    LARGE_INTEGER frequency_, start_;
    u64 count_ = 0;
};

// Sends WM_NULL to the window from a thread of its own, every 25 ms, and keeps the longest
// time the viewer's user-interface thread took to answer.
class ResponsivenessProbe {
public:
    explicit ResponsivenessProbe(HWND window) : window_(window) {
        thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    ~ResponsivenessProbe() { stop(); }
    DWORD stop() {
        if (thread_) {
            stop_ = true;
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
            thread_ = nullptr;
        }
        return longest_;
    }

private:
    static DWORD WINAPI run(void* context) {
        ResponsivenessProbe* self = static_cast<ResponsivenessProbe*>(context);
        while (!self->stop_) {
            DWORD start = GetTickCount();
            DWORD_PTR result;
            SendMessageTimeoutW(self->window_, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
            DWORD took = GetTickCount() - start;
            if (took > self->longest_)
                self->longest_ = took;
            Sleep(25);  // the probe's own rate, not a wait for the viewer
        }
        return 0;
    }
    HWND window_;
    HANDLE thread_ = nullptr;
    volatile bool stop_ = false;
    volatile DWORD longest_ = 0;
};

void writeAll(HANDLE file, const std::string& bytes) {
    DWORD written;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

// A large file written a block at a time: a binary file of `triangles` triangles, or
// `bytes` of ASCII facets ending in "endsolid".
void writeLargeBinary(const std::wstring& path, u32 triangles) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string header = binaryStl(0);
    memcpy(&header[80], &triangles, 4);
    writeAll(file, header);
    std::string block = binaryStl(20000).substr(84);
    for (u32 done = 0; done < triangles; done += 20000)
        writeAll(file, triangles - done >= 20000 ? block : block.substr(0, size_t(triangles - done) * 50));
    CloseHandle(file);
}

void writeLargeAscii(const std::wstring& path, u64 bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string facet =
        "  facet normal 0.000000e+00 0.000000e+00 1.000000e+00\n    outer loop\n"
        "      vertex 1.250000e+01 3.500000e+00 7.000000e+00\n      vertex 2.250000e+01 3.500000e+00 7.000000e+00\n"
        "      vertex 1.250000e+01 9.500000e+00 7.000000e+00\n    endloop\n  endfacet\n";
    std::string block;
    while (block.size() < (4u << 20))
        block += facet;
    writeAll(file, "solid large\n");
    for (u64 done = 0; done < bytes; done += block.size())
        writeAll(file, block);
    writeAll(file, "endsolid large\n");
    CloseHandle(file);
}

// The load that runs in the viewer, read from its memory; none when it has none.
bool remoteJob(const Viewer& viewer, LoadJob* job) {
    MainWindow main = viewer.record();
    if (!main.job)
        return false;
    *job = viewer.readRemote<LoadJob>(main.job);
    return true;
}

// A load has read part of its file.
bool loadUnderWay(const Viewer& viewer) {
    LoadJob job;
    return remoteJob(viewer, &job) && job.progress > 0;
}

// The STL files of a folder in the order stepping visits them.
std::vector<std::wstring> steppingOrder(const TestFolder& folder) {
    std::vector<std::wstring> order;
    for (const std::wstring& path : folder.shellOrder())
        if (probeStlFile(path.c_str()) == kStlFile)
            order.push_back(nameOf(path));
    return order;
}

void printLoads(const Viewer& viewer) {
    MainWindow main = viewer.record();
    printf("figures: loads begun %u, superseded %u, shown %u\n", main.loadsBegun, main.loadsDiscarded, main.loadsShown);
}

bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Large files go to /tmp under Wine, not into the Wine prefix's temporary folder.
std::wstring largeFileBase() {
    return underWine() ? L"Z:\\tmp\\" : L"";
}

void press(const Viewer& viewer, WPARAM key) {
    viewer.post(viewer.control(kViewId), WM_KEYDOWN, key, 1 | 1 << 30);  // a repeat of a held key
}

}  // namespace

// A folder of 300 files of every kind, stepped through with Right and Left at key-repeat
// speed: the window ends on the file the presses lead to, shows what the console tool
// reports of it, and back on the first small file the process is as large as it was.
TEST(ViewerStress, SteppingStorm) {
    const int seconds = soak() ? 150 : 12;
    TestFolder folder(L"vantorel_storm", largeFileBase());
    std::mt19937 random(16);
    std::string ascii = asciiSolid("part", 0);
    for (int i = 0; i < 300; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"f%03d.%ls", i, i % 10 == 6 ? L"txt" : L"stl");
        std::wstring path;
        switch (i % 10) {
        case 0: path = folder.add(name, asciiSolid("s" + std::to_string(i), float(i))); break;
        case 1: path = folder.add(name, binaryStl(12 + i)); break;
        case 2: path = folder.add(name, binaryStl(1000 * i)); break;  // up to 15 MB
        case 3: path = folder.add(name, ascii.substr(0, ascii.size() / 2)); break;  // cut in a facet
        case 4: path = folder.add(name, binaryStl(40).substr(0, 84 + 20 * 50) + std::string(1000, 'x')); break;
        case 5: path = folder.add(name, ""); break;
        case 6: path = folder.add(name, "solid? no, notes on parts\n"); break;
        case 7: {
            std::string text = "solid many\n";
            for (int k = 0; k < i * 20; ++k)
                text += "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 " + std::to_string(k) +
                        "\nendloop\nendfacet\n";
            path = folder.add(name, text + "endsolid many\n");
            break;
        }
        case 8: path = folder.add(name, "solid bad\nfacet normal 0 0 1\nouter loop\nvertex 1 2 x\n"); break;
        default: path = folder.add(name, binaryStl(random() % 5000)); break;
        }
    }
    // The large ones, to 100 MB.
    for (u32 megabytes : {25u, 50u, 100u}) {
        std::wstring path = folder.add(L"large" + std::to_wstring(megabytes) + L".stl", "");
        writeLargeBinary(path, megabytes * 20000);
    }
    writeLargeAscii(folder.add(L"large_ascii.stl", ""), 40u << 20);
    std::vector<std::wstring> order = steppingOrder(folder);
    ASSERT_GE(order.size(), 200u);
    size_t at = std::find(order.begin(), order.end(), L"f000.stl") - order.begin();
    ASSERT_LT(at, order.size());

    Viewer viewer({folder.path() + L"\\f000.stl"});
    ASSERT_TRUE(viewer.waitShown(L"f000.stl"));
    // The driver meets the largest model once before the baseline.
    dropFiles(viewer, {folder.path() + L"\\large100.stl"});
    ASSERT_TRUE(viewer.waitShown(L"large100.stl", 60000));
    dropFiles(viewer, {folder.path() + L"\\f000.stl"});
    ASSERT_TRUE(viewer.waitShown(L"f000.stl"));
    Viewer::Counters before = settledCounters(viewer);

    ResponsivenessProbe probe(viewer.window());
    Pacer pacer(30);
    u32 presses = 0;
    while (pacer.elapsedMs() < seconds * 1000.0) {
        bool right = random() % 10 < 7;
        for (u32 run = 5 + random() % 55; run > 0; --run, ++presses) {
            press(viewer, right ? VK_RIGHT : VK_LEFT);
            at = right ? (at + 1) % order.size() : (at + order.size() - 1) % order.size();
            pacer.next();
        }
    }
    double stormMs = pacer.elapsedMs();
    ASSERT_TRUE(viewer.waitShown(order[at], 120000)) << narrow(order[at]) << " shows " << narrow(viewer.title());
    double settledMs = pacer.elapsedMs() - stormMs;
    DWORD longest = probe.stop();
    EXPECT_EQ(viewer.record().job, nullptr);
    std::map<std::wstring, Json> reports = consoleReports({folder.path() + L"\\" + order[at]});
    expectShows(viewer, reports[order[at]]);

    // Back to the first file, the short way round.
    size_t home = std::find(order.begin(), order.end(), L"f000.stl") - order.begin();
    size_t forward = (home + order.size() - at) % order.size();
    for (size_t i = 0; i < std::min(forward, order.size() - forward); ++i)
        viewer.command(forward <= order.size() - forward ? kCommandNextFile : kCommandPreviousFile);
    ASSERT_TRUE(viewer.waitShown(L"f000.stl", 60000));
    printf("figures: storm %.1f s, %u presses, %zu STL files of %zu, settled %.1f s after the last press, "
           "user-interface thread unresponsive for at most %lu ms\n",
           stormMs / 1000, presses, order.size(), folder.shellOrder().size(), settledMs / 1000, longest);
    printLoads(viewer);
    expectNoGrowth(viewer, before);
    EXPECT_LT(longest, 2000u);
}

// Esc, File, Exit and the close box during a 500 MB binary and a 250 MB ASCII load each end
// the process with exit code 0 within a second.
TEST(ViewerStress, ClosingDuringLargeLoads) {
    TestFolder folder(L"vantorel_closing", largeFileBase());
    std::wstring binary = folder.add(L"binary500.stl", ""), ascii = folder.add(L"ascii250.stl", "");
    writeLargeBinary(binary, 10000000);
    writeLargeAscii(ascii, 250u << 20);
    struct Way {
        const char* name;
        UINT message;
        WPARAM wParam;
        bool toView;
    } ways[] = {{"Esc", WM_KEYDOWN, VK_ESCAPE, true},
                {"Exit", WM_COMMAND, kCommandExit, false},
                {"close box", WM_SYSCOMMAND, SC_CLOSE, false}};
    double longest = 0;
    for (const std::wstring& file : {binary, ascii})
        for (const Way& way : ways) {
            SCOPED_TRACE(std::string(way.name) + " " + narrow(nameOf(file)));
            Viewer viewer({file});
            ASSERT_TRUE(waitFor([&] { return loadUnderWay(viewer); }));
            LARGE_INTEGER start, end, frequency;
            QueryPerformanceFrequency(&frequency);
            QueryPerformanceCounter(&start);
            viewer.post(way.toView ? viewer.control(kViewId) : viewer.window(), way.message, way.wParam, 0);
            EXPECT_EQ(viewer.waitExit(1000), 0u);
            QueryPerformanceCounter(&end);
            longest = std::max(longest, double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
        }
    printf("figures: closing during a load: the slowest exit took %.0f ms\n", longest);
}

namespace {

// Cuts a file short as another system would, behind the back of Windows' sharing rules:
// under Wine, Linux's truncate on the file's Unix path.
bool truncateFromOutside(const std::wstring& path) {
    typedef char* (*UnixName)(const wchar_t*);
    UnixName unixName = UnixName(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name)
        return false;
    std::string command = std::string("/usr/bin/truncate -s 300 ") + name;
    HeapFree(GetProcessHeap(), 0, name);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("/usr/bin/truncate", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

}  // namespace

// A file cut short while it loads fails with the system's text and the viewer goes on; a
// file gone since the folder was listed is skipped; a file another program holds open
// without sharing shows the system's text.
TEST(ViewerStress, FaultsFromOutside) {
    TestFolder folder(L"vantorel_outside", largeFileBase());
    for (const wchar_t* name : {L"a.stl", L"b.stl", L"c.stl", L"d.stl"})
        folder.add(name, asciiSolid("part", 0));
    std::vector<std::wstring> order = steppingOrder(folder);
    ASSERT_EQ(order.size(), 4u);
    Viewer viewer({folder.path() + L"\\" + order[0]});
    ASSERT_TRUE(viewer.waitShown(order[0]));

    // Gone since the listing: skipped.
    DeleteFileW((folder.path() + L"\\" + order[1]).c_str());
    viewer.command(kCommandNextFile);
    ASSERT_TRUE(viewer.waitShown(order[2]));
    EXPECT_EQ(loadMessages(viewer).back(), L"file loaded successfully");

    // Held open without sharing: shown with the system's text.
    HANDLE held = CreateFileW((folder.path() + L"\\" + order[3]).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    viewer.command(kCommandNextFile);
    ASSERT_TRUE(viewer.waitShown(order[3]));
    std::u16string sharing = systemText(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(viewer.messageLines(), std::vector<std::wstring>({std::wstring(sharing.begin(), sharing.end())}));
    EXPECT_TRUE(viewer.tree().empty());
    CloseHandle(held);
    viewer.command(kCommandPreviousFile);
    ASSERT_TRUE(viewer.waitShown(order[2]));

    if (!underWine()) {
        printf("figures: a file cut short under a load is tried under Wine only\n");
        return;
    }
    // An ASCII and a binary file cut short while they load: the load fails with the
    // system's text for a file no longer valid, and the next file shows.
    std::u16string invalid = systemText(ERROR_FILE_INVALID);
    std::wstring invalidLine(invalid.begin(), invalid.end());
    for (int round = 0; round < 2; ++round) {
        std::wstring path = folder.add(round ? L"cut.bin" : L"cut.stl", "");
        if (round)
            writeLargeBinary(path, 4000000);
        else
            writeLargeAscii(path, 200u << 20);
        dropFiles(viewer, {path});
        ASSERT_TRUE(waitFor([&] { return loadUnderWay(viewer); })) << round;
        ASSERT_TRUE(truncateFromOutside(path));
        ASSERT_TRUE(viewer.waitShown(nameOf(path), 60000)) << round;
        std::vector<std::wstring> lines = loadMessages(viewer);
        EXPECT_TRUE(std::find(lines.begin(), lines.end(), invalidLine) != lines.end()) << round;
        EXPECT_TRUE(viewer.tree().empty()) << round;
        dropFiles(viewer, {folder.path() + L"\\" + order[0]});
        ASSERT_TRUE(viewer.waitShown(order[0]));
        EXPECT_EQ(loadMessages(viewer).back(), L"file loaded successfully");
    }
}

// Every hostile input of the guard-page test and every file of the fuzz corpora, stepped
// through in one viewer: each shows a model or its messages.
TEST(ViewerStress, HostileFilesThroughTheWholeViewer) {
    TestFolder folder(L"vantorel_hostile");
    u32 count = 0;
    auto add = [&](const std::string& bytes) {
        wchar_t name[32];
        swprintf(name, 32, L"h%05u.stl", count++);
        folder.add(name, bytes);
    };
    ASSERT_TRUE(forEachHostileInput(VANTOREL_FIXTURES, soak() ? 1 : 64, soak() ? 600 : 10,
                                    [&](const std::vector<u8>& bytes) { add(std::string(bytes.begin(), bytes.end())); }));
    WIN32_FIND_DATAW found;
    for (const wchar_t* corpus : {L"parse", L"text", L"number", L"digits"}) {
        std::wstring dir = windowsPath(VANTOREL_FUZZ_CORPUS) + L"\\" + corpus + L"\\";
        HANDLE search = FindFirstFileW((dir + L"*").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                {
                std::vector<u8> bytes = readWholeFile(narrow(dir + found.cFileName));
                add(std::string(bytes.begin(), bytes.end()));
            }
        FindClose(search);
    }
    // A first file that is surely STL.
    std::wstring first = folder.add(L"a_start.stl", asciiSolid("start", 0));
    size_t stl = steppingOrder(folder).size();

    Viewer viewer({first});
    ASSERT_TRUE(viewer.waitShown(L"a_start.stl"));
    DWORD start = GetTickCount();
    size_t shown = 0, loaded = 0;
    for (;;) {
        viewer.command(kCommandNextFile);
        ASSERT_TRUE(waitFor([&] { return viewer.loaded(); }, 30000, 2)) << narrow(viewer.title());
        std::wstring title = viewer.title();
        if (title == kTitlePrefix + L"a_start.stl")
            break;
        ++shown;
        bool model = !viewer.tree().empty();
        loaded += model;
        EXPECT_TRUE(model || !viewer.messageLines().empty()) << narrow(title);
        ASSERT_LT(shown, stl) << "stepping does not come back to the start";
    }
    EXPECT_EQ(shown + 1, stl);
    printf("figures: hostile files: %u written, %zu stepped to (%zu loaded, %zu failed with messages) in %.1f s\n",
           count, shown, loaded, shown - loaded, (GetTickCount() - start) / 1000.0);
}

// Random drags, wheel turns, keys, command ids and resizes, with loads in between: the
// viewer keeps answering and, back on the first small file, is as large as it was.
TEST(ViewerStress, Monkey) {
    const int seconds = soak() ? 150 : 12;
    TestFolder folder(L"vantorel_monkey");
    std::wstring small = folder.add(L"a_small.stl", asciiSolid("small", 0));
    folder.add(L"b_binary.stl", binaryStl(50000));
    folder.add(L"c_broken.stl", "solid broken\nfacet normal 0 0 1\nouter loop\nvertex 1 2 3\n");
    folder.add(L"d_two.stl", asciiSolid("one", 0) + asciiSolid("two", 20));
    folder.add(L"e_note.txt", "not a model\n");
    std::vector<std::wstring> files = folder.shellOrder();

    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Vantorel");
    Viewer viewer({small});
    ASSERT_TRUE(viewer.waitShown(L"a_small.stl"));
    Viewer::Counters before = settledCounters(viewer);
    RECT placement;
    GetWindowRect(viewer.window(), &placement);
    std::mt19937 random(6);
    HWND view = viewer.control(kViewId);
    const int controls[] = {kViewId, kTreeId, kMessagesId, kSpaceListId, kMaterialCheckId, kColourOrderListId};
    const WPARAM keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_SPACE,
                           VK_TAB, VK_RETURN, VK_BACK, VK_DELETE, 'A', 'W', 'Z', '1', VK_F1, VK_F10};
    const WPARAM commands[] = {kCommandNextFile, kCommandPreviousFile, kCommandFlipZoom, kCommandWireframe,
                               MAKEWPARAM(kSpaceListId, CBN_SELCHANGE), MAKEWPARAM(kMaterialCheckId, BN_CLICKED),
                               MAKEWPARAM(kColourOrderListId, CBN_SELCHANGE), 0, 1, 0x4108, 0x7FFF, 0xFFFF};
    ResponsivenessProbe probe(viewer.window());
    Pacer pacer(60);
    u32 events = 0, loads = 0;
    auto at = [&] { return MAKELPARAM(random() % 600 - 50, random() % 500 - 50); };
    while (pacer.elapsedMs() < seconds * 1000.0) {
        switch (random() % 16) {
        case 0: case 1: case 2: {  // a drag with either button
            bool left = random() % 2;
            viewer.post(view, left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN, left ? MK_LBUTTON : MK_RBUTTON, at());
            for (int i = random() % 8; i > 0; --i)
                viewer.post(view, WM_MOUSEMOVE, left ? MK_LBUTTON : MK_RBUTTON, at());
            viewer.post(view, left ? WM_LBUTTONUP : WM_RBUTTONUP, 0, at());
            break;
        }
        case 3: case 4:
            viewer.post(view, WM_MOUSEWHEEL, MAKEWPARAM(0, i16((random() % 9 - 4) * (random() % 4 ? 120 : 7))), at());
            break;
        case 5: case 6: case 7: {
            WPARAM key = keys[random() % (sizeof keys / sizeof keys[0])];
            HWND target = viewer.control(controls[random() % (sizeof controls / sizeof controls[0])]);
            viewer.post(target, WM_KEYDOWN, key, 1);
            viewer.post(target, WM_KEYUP, key, 1u | 3u << 30);
            break;
        }
        case 8: case 9:
            if (random() % 3 == 0)
                viewer.send(kSpaceListId, CB_SETCURSEL, random() % 2);
            viewer.post(viewer.window(), WM_COMMAND, commands[random() % (sizeof commands / sizeof commands[0])], 0);
            break;
        case 10: case 11:
            SetWindowPos(viewer.window(), nullptr, 0, 0, 40 + random() % 1200, 40 + random() % 950,
                         SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
            break;
        case 12:
            ShowWindowAsync(viewer.window(), random() % 2 ? SW_MINIMIZE : SW_RESTORE);
            break;
        case 13:
            viewer.post(viewer.control(random() % 2 ? kMessagesId : kTreeId), WM_LBUTTONDOWN, MK_LBUTTON, at());
            viewer.post(viewer.control(kTreeId), WM_LBUTTONUP, 0, at());
            break;
        default:
            if (random() % 4 == 0) {
                dropFiles(viewer, {files[random() % files.size()]});
                ++loads;
            }
        }
        ++events;
        pacer.next();
    }
    // The size it had: a larger window keeps larger frame buffers, as it should.
    ShowWindowAsync(viewer.window(), SW_RESTORE);
    waitFor([&] { return !IsIconic(viewer.window()); }, 5000);
    SetWindowPos(viewer.window(), nullptr, placement.left, placement.top, placement.right - placement.left,
                 placement.bottom - placement.top, SWP_NOZORDER | SWP_NOACTIVATE);
    dropFiles(viewer, {small});
    ASSERT_TRUE(viewer.waitShown(L"a_small.stl", 60000));
    DWORD longest = probe.stop();
    printf("figures: monkey %.1f s, %u events, %u drops, user-interface thread unresponsive for at most %lu ms\n",
           pacer.elapsedMs() / 1000, events, loads, longest);
    printLoads(viewer);
    expectNoGrowth(viewer, before);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Vantorel");
}

