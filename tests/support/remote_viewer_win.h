// The viewer driven from a second process, as a user and Explorer would: start
// vantorel.exe, find its window, read its controls, its memory (ReadProcessMemory) and its
// menu states (a small thread run inside it), send it messages and clicks, and compare what
// it shows with what vantorel-info reports. Waits poll with a deadline; nothing sleeps a
// fixed time. Shared by the viewer's end-to-end and stress tests.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <map>

#include "app/main_window_win.h"
#include "stl/detect.h"
#include "support/private_bytes_win.h"
#include "support/view_harness_win.h"

const wchar_t kTitle[] = L"Vantorel STL Viewer";
const std::wstring kTitlePrefix = L"Vantorel STL Viewer \u2013 ";

inline std::wstring nameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

// ---- One file's object of vantorel-info --json, read by key. Inside its strings quotes are
// escaped, so `"key": ` is found only where the key is.

struct Report {
    std::wstring json;
    // The string at json[at] (a quote), unescaped; `at` moves past it.
    std::wstring string(size_t& at) const {
        std::wstring out;
        for (++at; json[at] != L'"'; ++at) {
            bool code = json[at] == L'\\' && json[++at] == L'u';
            out += code ? wchar_t(wcstoul(json.substr(at + 1, 4).c_str(), nullptr, 16)) : json[at];
            at += code ? 4 : 0;
        }
        ++at;
        return out;
    }
    // A string value unescaped, any other as written ("null", a number).
    std::wstring operator[](const std::wstring& key) const {
        size_t at = json.find(L"\"" + key + L"\": ");
        if (at == std::wstring::npos)
            return L"";
        at += key.size() + 4;
        return json[at] == L'"' ? string(at) : json.substr(at, json.find_first_of(L",}", at) - at);
    }
    // The strings of the array opened by `"key": [`, or the one after each `{"key": `.
    std::vector<std::wstring> all(const std::wstring& opening) const {
        std::vector<std::wstring> out;
        for (size_t at = json.find(opening); at != std::wstring::npos; at = json.find(opening, at))
            for (at += opening.size(); json[at] == L'"'; at += opening.back() == L'[' && json[at] == L',' ? 2 : 0)
                out.push_back(string(at));
        return out;
    }
};

// What the console tool reports on each file, by file name.
inline std::map<std::wstring, Report> consoleReports(const std::vector<std::wstring>& paths) {
    std::wstring command = L"\"\"" + windowsPath(VANTOREL_INFO) + L"\" --json";
    for (const std::wstring& path : paths)
        command += L" \"" + path + L"\"";
    FILE* pipe = _wpopen((command + L"\"").c_str(), L"rb");  // through cmd /c, which takes the outer quotes off
    std::string output;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, got);
    _pclose(pipe);  // 1 when a file did not load
    std::wstring wide(output.size(), 0);
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, output.c_str(), int(output.size()), &wide[0], int(wide.size())));
    std::map<std::wstring, Report> byName;
    for (size_t at = wide.find(L"{\"path\": "), next; at != std::wstring::npos; at = next) {
        Report report{wide.substr(at, (next = wide.find(L"{\"path\": ", at + 1)) - at)};
        byName[nameOf(report[L"path"])] = report;
    }
    return byName;
}

// ---- The viewer, driven from outside.

struct TreeItem {
    std::wstring label;
    bool checked;
    HTREEITEM handle;
};

class Viewer {
public:
    explicit Viewer(const std::vector<std::wstring>& arguments) {
        std::wstring command = L"\"" + windowsPath(VANTOREL_VIEWER) + L"\"";
        for (const std::wstring& argument : arguments)
            command += L" \"" + argument + L"\"";
        STARTUPINFOW startup = {sizeof startup};
        EXPECT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_));
        // The main window: the process's visible dialog.
        waitFor([&] { return (window_ = dialog()) != nullptr; });
        EXPECT_NE(window_, nullptr) << "no main window";
        remote_ = VirtualAllocEx(process_.hProcess, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    }
    ~Viewer() {
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }

    HWND window() const { return window_; }
    // A visible dialog of the viewer other than its main window, or null.
    HWND dialog() const {
        for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == process_.dwProcessId && w != window_ && IsWindowVisible(w))
                return w;
        }
        return nullptr;
    }
    HWND control(int id) const { return GetDlgItem(window_, id); }
    void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam = 0) const { PostMessageW(window, message, wParam, lParam); }
    // The viewer's answer, waited for with a bound: one that does not come in time fails the
    // test by name instead of reading as an empty answer. Under Wine on a busy machine the
    // user-interface thread has taken seconds to answer.
    static LRESULT ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kAnswerMs, &result) &&
            GetLastError() == ERROR_TIMEOUT)
            ADD_FAILURE() << "the viewer did not answer message 0x" << std::hex << message << " within "
                          << std::dec << kAnswerMs / 1000 << " s";
        return LRESULT(result);
    }
    // Carried out before this returns, as a menu click is.
    void command(WPARAM id) const { ask(window_, WM_COMMAND, id); }
    LRESULT send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ask(control(id), message, wParam, lParam);
    }
    std::wstring text(HWND window) const {
        wchar_t buffer[4096] = {};
        return std::wstring(buffer, ask(window, WM_GETTEXT, 4096, LPARAM(buffer)));
    }
    std::wstring text(int id) const { return text(control(id)); }
    std::wstring title() const { return text(window_); }
    int selection(int id) const { return int(send(id, CB_GETCURSEL)); }
    bool enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
    bool visible(int id) const { return IsWindowVisible(control(id)) != FALSE; }
    // The message box's lines without the GPU's own, which only a window's load has.
    std::vector<std::wstring> messageLines() const {
        std::vector<std::wstring> lines;
        std::wstring all = text(kMessagesId);
        for (size_t start = 0, end; (end = all.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
            if (all.compare(start, 10, L"D3D info: ") != 0)
                lines.push_back(all.substr(start, end - start));
        return lines;
    }

    // A load has completed once the progress bar has given its place back to the view.
    bool loaded() const { return visible(kViewId) && !visible(kProgressId); }
    bool waitLoaded(DWORD milliseconds = 30000) const { return waitFor([&] { return loaded(); }, milliseconds); }
    // The named file is the one shown (its title, and its load completed).
    bool waitShown(const std::wstring& name, DWORD milliseconds = 30000) const {
        return waitFor([&] { return title() == kTitlePrefix + name && loaded(); }, milliseconds);
    }
    // A load runs and has read part of its file.
    bool loadUnderWay() const {
        MainWindow main = record();
        return main.job && readRemote<LoadJob>(main.job).progress > 0;
    }
    DWORD waitExit(DWORD milliseconds = 20000) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.hProcess, milliseconds) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    // Calls a function of a system DLL (at the same address in both processes) on a thread
    // of the viewer with up to three arguments; its 32-bit result is the thread's exit code.
    DWORD callRemote(const char* dll, const char* function, u64 first, u64 second = 0, u64 third = 0) const {
        // sub rsp, 40; mov rcx, first; mov rdx, second; mov r8, third; mov rax, function;
        // call rax; mov [wide result], rax; add rsp, 40; ret
        u8 code[] = {0x48, 0x83, 0xEC, 0x28, 0x48, 0xB9, 0, 0, 0, 0, 0, 0, 0, 0, 0x48, 0xBA, 0, 0, 0, 0, 0, 0, 0, 0, 0x49, 0xB8,
                     0, 0, 0, 0, 0, 0, 0, 0, 0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xD0, 0x48, 0xA3, 0, 0, 0, 0, 0, 0, 0, 0,
                     0x48, 0x83, 0xC4, 0x28, 0xC3};
        const u64 values[] = {first, second, third, u64(GetProcAddress(GetModuleHandleA(dll), function))};
        for (int i = 0; i < 4; ++i)
            memcpy(code + 6 + 10 * i, &values[i], 8);
        const u64 wide = u64(remote_) + kWideResult;
        memcpy(code + 48, &wide, 8);
        u8* remote = static_cast<u8*>(remote_) + 3072;
        WriteProcessMemory(process_.hProcess, remote, code, sizeof code, nullptr);
        HANDLE thread = CreateRemoteThread(process_.hProcess, nullptr, 0, LPTHREAD_START_ROUTINE(remote), nullptr, 0, nullptr);
        DWORD result = 0xFFFFFFFF;
        if (WaitForSingleObject(thread, kAnswerMs) == WAIT_TIMEOUT)
            ADD_FAILURE() << "the call of " << function << " in the viewer did not return within " << kAnswerMs / 1000 << " s";
        GetExitCodeThread(thread, &result);
        CloseHandle(thread);
        return result;
    }
    // A pointer-sized result of a function called in the viewer.
    u64 callRemoteWide(const char* dll, const char* function, u64 first, u64 second = 0, u64 third = 0) const {
        const u64 none = 0;  // what a call that never ran leaves
        WriteProcessMemory(process_.hProcess, static_cast<u8*>(remote_) + kWideResult, &none, sizeof none, nullptr);
        callRemote(dll, function, first, second, third);
        return readRemote<u64>(static_cast<u8*>(remote_) + kWideResult);
    }
    // Menus cannot be read from another process under Wine (GetMenuState answers -1): asked
    // inside the viewer.
    UINT menuState(UINT id) const {
        return callRemote("user32.dll", "GetMenuState", u64(callRemote("user32.dll", "GetMenu", u64(window_))), id, MF_BYCOMMAND);
    }

    // The tree: the file item first, then its children in the order shown.
    std::vector<TreeItem> tree() const {
        std::vector<TreeItem> items;
        for (HTREEITEM item = HTREEITEM(send(kTreeId, TVM_GETNEXTITEM, TVGN_ROOT)); item;
             item = HTREEITEM(send(kTreeId, TVM_GETNEXTITEM, items.size() == 1 ? TVGN_CHILD : TVGN_NEXT, LPARAM(item)))) {
            // The item record and its text buffer in the viewer's memory.
            u8* remote = static_cast<u8*>(remote_);
            TVITEMW query = {TVIF_TEXT | TVIF_STATE, item, 0, TVIS_STATEIMAGEMASK, reinterpret_cast<wchar_t*>(remote + 512), 1024};
            WriteProcessMemory(process_.hProcess, remote, &query, sizeof query, nullptr);
            send(kTreeId, TVM_GETITEMW, 0, LPARAM(remote));
            TVITEMW answer = readRemote<TVITEMW>(remote);
            wchar_t label[1024] = {};
            ReadProcessMemory(process_.hProcess, remote + 512, label, sizeof label - 2, nullptr);
            items.push_back({label, (answer.state & TVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2), item});
        }
        return items;
    }
    // A real click on the item's checkbox: the state image sits just left of the label.
    void clickCheckbox(HTREEITEM handle) const {
        WriteProcessMemory(process_.hProcess, remote_, &handle, sizeof handle, nullptr);
        send(kTreeId, TVM_GETITEMRECT, TRUE, LPARAM(remote_));
        RECT rect = readRemote<RECT>(remote_);
        LPARAM at = MAKELPARAM(rect.left - 8, (rect.top + rect.bottom) / 2);
        post(control(kTreeId), WM_LBUTTONDOWN, MK_LBUTTON, at);
        post(control(kTreeId), WM_LBUTTONUP, 0, at);
    }

    // The window's record and the view's state, read from the viewer's memory: the
    // screen of another process does not show what Direct3D draws under Wine.
    template <typename T>
    T readRemote(const void* address) const {
        T value = {};
        ReadProcessMemory(process_.hProcess, address, &value, sizeof value, nullptr);
        return value;
    }
    MainWindow record() const { return readRemote<MainWindow>(reinterpret_cast<void*>(GetWindowLongPtrW(window_, GWLP_USERDATA))); }
    ViewState viewState() const {
        return readRemote<ViewState>(reinterpret_cast<void*>(GetWindowLongPtrW(control(kViewId), GWLP_USERDATA)));
    }
    std::vector<u8> solidVisible() const {
        MainWindow main = record();
        std::vector<u8> flags(main.shown.result.mesh.solidCount);
        ReadProcessMemory(process_.hProcess, main.shown.solidVisible, flags.data(), flags.size(), nullptr);
        return flags;
    }
    u32 meshColour() const { return readRemote<GpuMesh>(viewState().mesh).colour; }

    // What a leak would grow: private bytes, heaps, kernel handles, GDI and USER objects; all
    // but the first asked inside the viewer, as Wine answers them for the calling process only.
    struct Counters {
        SIZE_T privateBytes, allBytes;
        DWORD heaps, handles, gdiObjects, userObjects;
    };
    // The viewer's own committed memory; the process's whole figure (`allBytes`) also holds,
    // under Wine, the GPU driver's Unix-side allocator arenas, which keep their high-water mark.
    SIZE_T privateBytes() const { return committedPrivateBytes(process_.hProcess); }
    SIZE_T allBytes() const {
        PROCESS_MEMORY_COUNTERS counters = {sizeof counters};
        GetProcessMemoryInfo(process_.hProcess, &counters, sizeof counters);
        return counters.PagefileUsage;
    }
    Counters counters() const {
        const u64 self = u64(-1), out = u64(remote_) + 2048;  // GetCurrentProcess()
        callRemote("kernel32.dll", "GetProcessHandleCount", self, out);
        return {privateBytes(), allBytes(), callRemote("kernel32.dll", "GetProcessHeaps", 0), readRemote<DWORD>(reinterpret_cast<void*>(out)),
                callRemote("user32.dll", "GetGuiResources", self, GR_GDIOBJECTS),
                callRemote("user32.dll", "GetGuiResources", self, GR_USEROBJECTS)};
    }

    // A drop from Explorer: the DROPFILES block (wide names, a NUL after each, another at
    // the end) in global memory of the viewer's own, which DragFinish frees with GlobalFree
    // ("DragFinish", Microsoft Learn).
    void drop(const std::vector<std::wstring>& paths) const {
        std::wstring names;
        for (const std::wstring& path : paths)
            names += path + L'\0';
        DROPFILES header = {sizeof(DROPFILES), {}, FALSE, TRUE};
        std::string block(reinterpret_cast<const char*>(&header), sizeof header);
        block.append(reinterpret_cast<const char*>(names.c_str()), 2 * names.size() + 2);
        void* remote = reinterpret_cast<void*>(callRemoteWide("kernel32.dll", "GlobalAlloc", GMEM_FIXED, block.size()));
        ASSERT_NE(remote, nullptr) << "GlobalAlloc in the viewer";
        WriteProcessMemory(process_.hProcess, remote, block.data(), block.size(), nullptr);
        post(window_, WM_DROPFILES, WPARAM(remote));
    }
    // Dropped, and the first file shown.
    bool open(const std::vector<std::wstring>& paths, DWORD milliseconds = 30000) const {
        drop(paths);
        return waitShown(nameOf(paths[0]), milliseconds);
    }

private:
    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
    // 4 KB: a tree item at 0, its text at 512, a result at 2048, a wide result at 2304, code at 3072.
    static constexpr u32 kWideResult = 2304;
    static constexpr DWORD kAnswerMs = 30000;
    void* remote_ = nullptr;
};

// ---- What a load should show, from the console tool's report.

inline void expectShows(const Viewer& viewer, const Report& report) {
    SCOPED_TRACE(report[L"path"]);
    std::vector<std::wstring> expected = report.all(L"\"messages\": [");
    bool loaded = report[L"status"] == L"loaded", ascii = report[L"format"] == L"ascii";
    if (loaded)
        expected.push_back(L"file loaded successfully");
    EXPECT_EQ(viewer.messageLines(), expected);
    EXPECT_EQ(viewer.text(kFormatLineId), !loaded ? L"" : ascii ? L"ASCII STL" : L"Binary STL");
    EXPECT_EQ(viewer.text(kDimensionsLineId), loaded ? report[L"dimensions"] : L"");
    EXPECT_EQ(viewer.selection(kSpaceListId), loaded ? std::stoi(report[L"coordinateSpace"]) - 1 : -1);
    EXPECT_EQ(viewer.enabled(kSpaceListId), loaded);
    EXPECT_EQ(viewer.enabled(kMaterialCheckId), loaded);
    EXPECT_FALSE(viewer.enabled(kColourOrderListId));
    if (!loaded)
        EXPECT_FALSE(viewer.enabled(kSwatchId));
    bool material = loaded && !ascii && report[L"materialColour"] != L"0";
    EXPECT_EQ(viewer.send(kMaterialCheckId, BM_GETCHECK), material ? BST_CHECKED : BST_UNCHECKED);
    EXPECT_EQ(viewer.selection(kColourOrderListId), !loaded || ascii ? -1 : report[L"colourOrder"] == L"3" ? 1 : 0);

    std::vector<TreeItem> tree = viewer.tree();
    std::vector<std::wstring> solids = report.all(L"{\"name\": ");
    ASSERT_EQ(tree.size(), loaded ? solids.size() + 1 : 0);
    for (size_t i = 0; i < tree.size(); ++i) {
        // The file item, then the solids, the last listed first; control characters show as
        // their pictures, an unnamed item as "File" or "Object".
        std::wstring label = i == 0 ? report[L"modelName"] : ascii ? solids[solids.size() - i] : L"";
        for (wchar_t& unit : label)
            unit = unit < 0x20 ? wchar_t(unit + 0x2400) : unit;
        EXPECT_EQ(tree[i].label, !label.empty() ? label : i == 0 ? L"File" : L"Object");
        EXPECT_TRUE(tree[i].checked);
    }
}

// A solid of one triangle, `offset` along x.
inline std::string asciiSolid(const std::string& name, int offset) {
    std::string x = std::to_string(offset), x10 = std::to_string(offset + 10);
    return "solid " + name + "\nfacet normal 0 0 0\nouter loop\nvertex " + x + " 0 0\nvertex " + x10 + " 10 0\nvertex " + x +
           " 0 10\nendloop\nendfacet\nendsolid " + name + "\n";
}

// The STL files (told by content) of the file's folder in the order Next File visits them
// from it, the file first.
inline std::vector<std::wstring> steppingOrder(const std::wstring& path) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::vector<std::wstring> order = {nameOf(path)};
    FolderWalker* walker = startFolderWalker(path.c_str(), nullptr);
    wchar_t next[MAX_PATH];
    while (waitForFolderWalker(walker) && stepFolderWalker(walker, next, false))
        if (probeStlFile(next) == kStlFile)
            order.push_back(nameOf(next));
    discardFolderWalker(walker);
    return order;
}
