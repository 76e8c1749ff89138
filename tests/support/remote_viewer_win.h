// The viewer driven from a second process, as a user and Explorer would: start
// vantorel.exe, find its window, read its controls, its memory (ReadProcessMemory) and its
// menu states (a small thread run inside it), send it messages and clicks, and compare what
// it shows with what vantorel-info reports. Waits poll with a deadline; nothing sleeps a
// fixed time. Shared by the viewer's end-to-end and stress tests.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "app/main_window_win.h"
#include "diag/base.h"
#include "render/renderer_win.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

const wchar_t kTitle[] = L"Vantorel STL Viewer";
const std::wstring kTitlePrefix = L"Vantorel STL Viewer \u2013 ";

inline std::wstring windowsPath(const char* path) {
    std::wstring wide(path, path + strlen(path));
    wchar_t full[MAX_PATH * 4];
    GetFullPathNameW(wide.c_str(), MAX_PATH * 4, full, nullptr);
    std::wstring out = full;
    std::replace(out.begin(), out.end(), L'/', L'\\');
    return out;
}

inline const std::wstring& viewerPath() {
    static std::wstring path = windowsPath(VANTOREL_VIEWER);
    return path;
}

inline std::wstring fixture(const wchar_t* name) {
    static std::wstring folder = windowsPath(VANTOREL_FIXTURES);
    return folder + L"\\" + name;
}

inline std::wstring nameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

inline std::string narrow(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(bytes, 0);
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

inline std::wstring widen(const std::string& text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0);
    std::wstring out(units, 0);
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), &out[0], units);
    return out;
}

// Polls `done` until it holds or `milliseconds` pass; pumps this thread's own messages.
template <typename Condition>
inline bool waitFor(Condition done, DWORD milliseconds = 20000, DWORD interval = 20) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start > milliseconds)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, interval, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

// ---- vantorel-info --json, read back with a small JSON reader.

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::wstring text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> fields;
    const Json& operator[](const std::string& key) const {
        for (const auto& field : fields)
            if (field.first == key)
                return field.second;
        static const Json none;
        return none;
    }
};

struct JsonReader {
    const std::string& in;
    size_t at = 0;
    void space() {
        while (at < in.size() && isspace(u8(in[at])))
            ++at;
    }
    std::wstring string() {
        std::string bytes;
        std::wstring out;
        ++at;  // "
        while (in[at] != '"') {
            if (in[at] != '\\') {
                bytes += in[at++];
                continue;
            }
            char escape = in[at + 1];
            at += 2;
            if (escape == 'u') {
                out += widen(bytes);
                bytes.clear();
                out += wchar_t(strtoul(in.substr(at, 4).c_str(), nullptr, 16));
                at += 4;
            } else {
                static const std::string from = "\"\\/bfnrt", to = "\"\\/\b\f\n\r\t";
                bytes += to[from.find(escape)];
            }
        }
        ++at;
        return out + widen(bytes);
    }
    Json value() {
        space();
        Json out;
        char c = in[at];
        if (c == '{' || c == '[') {
            out.kind = c == '{' ? Json::Object : Json::Array;
            ++at;
            for (;;) {
                space();
                if (in[at] == '}' || in[at] == ']') {
                    ++at;
                    return out;
                }
                if (in[at] == ',') {
                    ++at;
                    continue;
                }
                if (out.kind == Json::Object) {
                    std::string key = narrow(string());
                    space();
                    ++at;  // :
                    out.fields.emplace_back(key, value());
                } else {
                    out.items.push_back(value());
                }
            }
        }
        if (c == '"') {
            out.kind = Json::String;
            out.text = string();
        } else if (c == 'n') {
            at += 4;
        } else if (c == 't' || c == 'f') {
            out.kind = Json::Bool;
            out.boolean = c == 't';
            at += c == 't' ? 4 : 5;
        } else {
            out.kind = Json::Number;
            char* end;
            out.number = strtod(in.c_str() + at, &end);
            at = end - in.c_str();
        }
        return out;
    }
};

// What the console tool reports on each file, by file name.
inline std::map<std::wstring, Json> consoleReports(const std::vector<std::wstring>& paths) {
    std::wstring command = L"\"" + windowsPath(VANTOREL_INFO) + L"\" --json";
    for (const std::wstring& path : paths)
        command += L" \"" + path + L"\"";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(writeEnd);
    std::string output;
    char buffer[4096];
    DWORD got;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        output.append(buffer, got);
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    JsonReader reader{output};
    Json all = reader.value();
    std::map<std::wstring, Json> byName;
    for (const Json& report : all.items)
        byName[nameOf(report["path"].text)] = report;
    return byName;
}

// ---- The viewer, driven from outside.

struct TreeItem {
    std::wstring label;
    bool checked;
    u32 parameter;
    HTREEITEM handle;
};

class Viewer {
public:
    explicit Viewer(const std::vector<std::wstring>& arguments) {
        std::wstring command = L"\"" + viewerPath() + L"\"";
        for (const std::wstring& argument : arguments)
            command += L" \"" + argument + L"\"";
        STARTUPINFOW startup = {sizeof startup};
        EXPECT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process_));
        waitFor([&] { return (window_ = findWindow()) != nullptr; });
        EXPECT_NE(window_, nullptr) << "no main window";
    }
    ~Viewer() {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 1);
                WaitForSingleObject(process_.hProcess, 5000);
            }
            if (remote_)
                VirtualFreeEx(process_.hProcess, remote_, 0, MEM_RELEASE);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }

    HWND window() const { return window_; }
    HWND control(int id) const { return GetDlgItem(window_, id); }
    HANDLE process() const { return process_.hProcess; }

    // A load has completed once the progress bar has given its place back to the view.
    bool loaded() const { return IsWindowVisible(control(kViewId)) && !IsWindowVisible(control(kProgressId)); }
    bool waitLoaded(DWORD milliseconds = 30000) {
        return waitFor([&] { return loaded(); }, milliseconds);
    }
    // The named file is the one shown (its title, and its load completed).
    bool waitShown(const std::wstring& name, DWORD milliseconds = 30000) {
        return waitFor([&] { return title() == kTitlePrefix + name && IsWindowVisible(control(kViewId)) &&
                                    !IsWindowVisible(control(kProgressId)); },
                       milliseconds);
    }

    std::wstring text(HWND window) const {
        wchar_t buffer[4096] = {};
        DWORD_PTR length = 0;
        SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                            &length);
        return std::wstring(buffer, length);
    }
    std::wstring title() const { return text(window_); }
    std::wstring text(int id) const { return text(control(id)); }
    std::vector<std::wstring> messageLines() const {
        std::vector<std::wstring> lines;
        std::wstring all = text(kMessagesId);
        for (size_t start = 0, end; (end = all.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
            lines.push_back(all.substr(start, end - start));
        return lines;
    }
    LRESULT send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(control(id), message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
        return LRESULT(result);
    }
    int selection(int id) const { return int(send(id, CB_GETCURSEL)); }
    bool enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }

    // Carried out before this returns, as a menu click is.
    void command(WPARAM id, LPARAM lParam = 0) const {
        DWORD_PTR result;
        SendMessageTimeoutW(window_, WM_COMMAND, id, lParam, SMTO_ABORTIFHUNG, 30000, &result);
    }
    void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const {
        PostMessageW(window, message, wParam, lParam);
    }

    // Menus cannot be read from another process under Wine (GetMenuState answers -1), so
    // a thread of the viewer's own reads it: GetMenu(window), then GetMenuState(menu, id,
    // MF_BYCOMMAND), whose answer is the thread's exit code. User32 lies at the same address
    // in both processes.
    UINT menuState(UINT id) {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        HMENU menu = HMENU(callRemote(GetProcAddress(user32, "GetMenu"), u64(window_)));
        return UINT(callRemote(GetProcAddress(user32, "GetMenuState"), u64(menu), id, MF_BYCOMMAND));
    }

    // Calls a function of a system DLL (at the same address in both processes) on a thread
    // of the viewer with up to three arguments; its 32-bit result is the thread's exit code.
    DWORD callRemote(FARPROC function, u64 first, u64 second = 0, u64 third = 0) {
        u64 address = u64(function);
        u8 code[64];
        size_t n = 0;
        auto bytes = [&](std::initializer_list<u8> list) {
            for (u8 b : list)
                code[n++] = b;
        };
        auto imm = [&](const void* value) {
            memcpy(code + n, value, 8);
            n += 8;
        };
        bytes({0x48, 0x83, 0xEC, 0x28});  // sub rsp, 40
        bytes({0x48, 0xB9});              // mov rcx, first
        imm(&first);
        bytes({0x48, 0xBA});  // mov rdx, second
        imm(&second);
        bytes({0x49, 0xB8});  // mov r8, third
        imm(&third);
        bytes({0x48, 0xB8});  // mov rax, function
        imm(&address);
        bytes({0xFF, 0xD0, 0x48, 0x83, 0xC4, 0x28, 0xC3});  // call rax; add rsp, 40; ret
        void* remote = VirtualAllocEx(process_.hProcess, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
        WriteProcessMemory(process_.hProcess, remote, code, n, nullptr);
        HANDLE thread = CreateRemoteThread(process_.hProcess, nullptr, 0, LPTHREAD_START_ROUTINE(remote), nullptr, 0, nullptr);
        DWORD result = 0xFFFFFFFF;
        if (thread) {
            WaitForSingleObject(thread, 10000);
            GetExitCodeThread(thread, &result);
            CloseHandle(thread);
        }
        VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
        return result;
    }

    DWORD waitExit(DWORD milliseconds = 20000) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.hProcess, milliseconds) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    // The tree: the file item first, then its children in the order shown.
    std::vector<TreeItem> tree() {
        std::vector<TreeItem> items;
        HTREEITEM root = HTREEITEM(send(kTreeId, TVM_GETNEXTITEM, TVGN_ROOT));
        if (!root)
            return items;
        items.push_back(item(root));
        for (HTREEITEM child = HTREEITEM(send(kTreeId, TVM_GETNEXTITEM, TVGN_CHILD, LPARAM(root))); child;
             child = HTREEITEM(send(kTreeId, TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(child))))
            items.push_back(item(child));
        return items;
    }

    // A real click on the item's checkbox: the state image sits just left of the label.
    void clickCheckbox(HTREEITEM handle) {
        RECT rect;
        *reinterpret_cast<HTREEITEM*>(&rect) = handle;
        WriteProcessMemory(process_.hProcess, remoteBlock(), &rect, sizeof rect, nullptr);
        send(kTreeId, TVM_GETITEMRECT, TRUE, LPARAM(remoteBlock()));
        ReadProcessMemory(process_.hProcess, remoteBlock(), &rect, sizeof rect, nullptr);
        LPARAM at = MAKELPARAM(rect.left - 8, (rect.top + rect.bottom) / 2);
        HWND tree = control(kTreeId);
        post(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
        post(tree, WM_LBUTTONUP, 0, at);
    }

    // The window's record and the view's state, read from the viewer's memory: the
    // screen of another process does not show what Direct3D draws under Wine.
    template <typename T>
    T readRemote(const void* address) const {
        T value = {};
        ReadProcessMemory(process_.hProcess, address, &value, sizeof value, nullptr);
        return value;
    }
    MainWindow record() const {
        return readRemote<MainWindow>(reinterpret_cast<void*>(GetWindowLongPtrW(window_, GWLP_USERDATA)));
    }
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

    SIZE_T privateBytes() const {
        PROCESS_MEMORY_COUNTERS counters = {sizeof counters};
        GetProcessMemoryInfo(process_.hProcess, &counters, sizeof counters);
        return counters.PagefileUsage;
    }

    // What a leak would grow: private bytes, kernel handles, GDI and USER objects.
    struct Counters {
        SIZE_T privateBytes;
        DWORD heaps, handles, gdiObjects, userObjects;
    };
    // Asked inside the viewer: Wine answers these for the calling process only.
    Counters counters() {
        HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll"), user32 = GetModuleHandleW(L"user32.dll");
        const u64 self = u64(-1);  // GetCurrentProcess()
        Counters c = {privateBytes(), callRemote(GetProcAddress(kernel32, "GetProcessHeaps"), 0), 0, callRemote(GetProcAddress(user32, "GetGuiResources"), self, GR_GDIOBJECTS),
                      callRemote(GetProcAddress(user32, "GetGuiResources"), self, GR_USEROBJECTS)};
        u64 out = u64(remoteBlock()) + 2048;
        callRemote(GetProcAddress(kernel32, "GetProcessHandleCount"), self, out);
        c.handles = readRemote<DWORD>(reinterpret_cast<void*>(out));
        return c;
    }

private:
    HWND findWindow() const {
        struct Search {
            DWORD process;
            HWND found;
        } search = {process_.dwProcessId, nullptr};
        EnumWindows(
            [](HWND window, LPARAM context) -> BOOL {
                Search* s = reinterpret_cast<Search*>(context);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                wchar_t name[64];
                GetClassNameW(window, name, 64);
                if (owner == s->process && lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window)) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    void* remoteBlock() {
        if (!remote_)
            remote_ = VirtualAllocEx(process_.hProcess, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        return remote_;
    }

    TreeItem item(HTREEITEM handle) {
        // The item record and its text buffer in the viewer's memory.
        u8* remote = static_cast<u8*>(remoteBlock());
        TVITEMW query = {};
        query.mask = TVIF_TEXT | TVIF_STATE | TVIF_PARAM;
        query.hItem = handle;
        query.stateMask = TVIS_STATEIMAGEMASK;
        query.pszText = reinterpret_cast<wchar_t*>(remote + 512);
        query.cchTextMax = 1024;
        WriteProcessMemory(process_.hProcess, remote, &query, sizeof query, nullptr);
        send(kTreeId, TVM_GETITEMW, 0, LPARAM(remote));
        TVITEMW answer;
        ReadProcessMemory(process_.hProcess, remote, &answer, sizeof answer, nullptr);
        wchar_t label[1024] = {};
        ReadProcessMemory(process_.hProcess, remote + 512, label, sizeof label - 2, nullptr);
        return TreeItem{label, (answer.state & TVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2), u32(answer.lParam),
                        handle};
    }

    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
    void* remote_ = nullptr;
};

// ---- What a load should show, from the console tool's report.

// The window's messages without the GPU's own line, which only a window's load has.
inline std::vector<std::wstring> loadMessages(const Viewer& viewer) {
    std::vector<std::wstring> lines;
    for (const std::wstring& line : viewer.messageLines())
        if (line.rfind(L"D3D info: ", 0) != 0)
            lines.push_back(line);
    return lines;
}

inline std::wstring controlPictures(std::wstring text) {
    for (wchar_t& unit : text)
        if (unit < 0x20)
            unit = wchar_t(unit + 0x2400);
    return text;
}

inline void expectShows(Viewer& viewer, const Json& report) {
    std::wstring name = nameOf(report["path"].text);
    SCOPED_TRACE(narrow(name));
    std::vector<std::wstring> expected;
    for (const Json& line : report["messages"].items)
        expected.push_back(line.text);
    bool loaded = report["status"].text == L"loaded";
    if (loaded)
        expected.push_back(L"file loaded successfully");
    EXPECT_EQ(loadMessages(viewer), expected);
    std::vector<TreeItem> tree = viewer.tree();
    if (!loaded) {
        EXPECT_EQ(viewer.text(kFormatLineId), L"");
        EXPECT_EQ(viewer.text(kDimensionsLineId), L"");
        EXPECT_EQ(viewer.selection(kSpaceListId), -1);
        EXPECT_EQ(viewer.selection(kColourOrderListId), -1);
        EXPECT_FALSE(viewer.enabled(kSpaceListId));
        EXPECT_FALSE(viewer.enabled(kMaterialCheckId));
        EXPECT_FALSE(viewer.enabled(kSwatchId));
        EXPECT_EQ(viewer.send(kMaterialCheckId, BM_GETCHECK), BST_UNCHECKED);
        EXPECT_TRUE(tree.empty());
        return;
    }
    bool ascii = report["format"].text == L"ascii";
    EXPECT_EQ(viewer.text(kFormatLineId), ascii ? L"ASCII STL" : L"Binary STL");
    EXPECT_EQ(viewer.text(kDimensionsLineId), report["dimensions"].text);
    EXPECT_EQ(viewer.selection(kSpaceListId), int(report["coordinateSpace"].number) - 1);
    EXPECT_TRUE(viewer.enabled(kSpaceListId));
    EXPECT_TRUE(viewer.enabled(kMaterialCheckId));
    EXPECT_FALSE(viewer.enabled(kColourOrderListId));
    bool material = !ascii && report["materialColour"].number != 0;
    EXPECT_EQ(viewer.send(kMaterialCheckId, BM_GETCHECK), material ? BST_CHECKED : BST_UNCHECKED);
    EXPECT_EQ(viewer.selection(kColourOrderListId), ascii ? -1 : report["colourOrder"].number == 3 ? 1 : 0);

    const std::vector<Json>& solids = report["solids"].items;
    ASSERT_EQ(tree.size(), solids.size() + 1);
    std::wstring model = controlPictures(report["modelName"].text);
    EXPECT_EQ(tree[0].label, model.empty() ? L"File" : model);
    EXPECT_TRUE(tree[0].checked);
    EXPECT_EQ(tree[0].parameter, 0xFFFFFFFFu);
    for (size_t i = 0; i < solids.size(); ++i) {
        const TreeItem& item = tree[solids.size() - i];  // the last solid is listed first
        std::wstring label = ascii ? controlPictures(solids[i]["name"].text) : L"";
        EXPECT_EQ(item.label, label.empty() ? L"Object" : label);
        EXPECT_TRUE(item.checked);
        EXPECT_EQ(item.parameter, i);
    }
}

// A folder of the test's own, removed with its files.
class TestFolder {
public:
    // In the temporary folder, or under `base` (large files go to a disk of their own).
    explicit TestFolder(const std::wstring& name, std::wstring base = L"") {
        if (base.empty()) {
            wchar_t temp[MAX_PATH];
            GetTempPathW(MAX_PATH, temp);
            base = temp;
        }
        path_ = base + name + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    const std::wstring& path() const { return path_; }
    ~TestFolder() {
        for (const std::wstring& file : files_)
            DeleteFileW(file.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    std::wstring add(const std::wstring& name, const std::string& bytes) {
        std::wstring file = path_ + L"\\" + name;
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written;
        WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(handle);
        files_.push_back(file);
        return file;
    }
    // The folder's items in the shell's own order, as the viewer walks them.
    std::vector<std::wstring> shellOrder() const {
        std::vector<std::wstring> names = shellOrder(SHCONTF_STORAGE);
        return names.empty() ? shellOrder(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS) : names;
    }

private:
    std::vector<std::wstring> shellOrder(SHCONTF flags) const {
        std::vector<std::wstring> names;
        IShellFolder* desktop = nullptr;
        SHGetDesktopFolder(&desktop);
        LPITEMIDLIST list = ILCreateFromPathW(path_.c_str());
        IShellFolder* folder = nullptr;
        desktop->BindToObject(list, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder));
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
        desktop->Release();
        return names;
    }

    std::wstring path_;
    std::vector<std::wstring> files_;
};

inline std::string asciiSolid(const std::string& name, float offset) {
    std::string text = "solid " + name + "\n";
    const float corners[4][3] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 10}};
    const int faces[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
    for (const auto& face : faces) {
        text += "facet normal 0 0 0\nouter loop\n";
        for (int corner : face)
            text += "vertex " + std::to_string(corners[corner][0] + offset) + " " + std::to_string(corners[corner][1]) +
                    " " + std::to_string(corners[corner][2]) + "\n";
        text += "endloop\nendfacet\n";
    }
    return text + "endsolid " + name + "\n";
}

// A binary file of `count` copies of one triangle, spread along x.
inline std::string binaryStl(u32 count) {
    std::string bytes(84 + size_t(count) * 50, '\0');
    memcpy(&bytes[80], &count, 4);
    for (u32 i = 0; i < count; ++i) {
        float triangle[12] = {0, 0, 1, float(i % 1000), 0, 0, float(i % 1000) + 1, 0, 0, float(i % 1000), 1, float(i / 1000)};
        memcpy(&bytes[84 + size_t(i) * 50], triangle, sizeof triangle);
    }
    return bytes;
}


// A drop from Explorer: the DROPFILES block (wide names, a NUL after each, another at the
// end) placed in the viewer's memory, where DragQueryFileW reads it.
inline void dropFiles(Viewer& viewer, const std::vector<std::wstring>& paths) {
    std::vector<u8> block(sizeof(DROPFILES));
    DROPFILES* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    for (const std::wstring& path : paths) {
        const u8* bytes = reinterpret_cast<const u8*>(path.c_str());
        block.insert(block.end(), bytes, bytes + 2 * (path.size() + 1));
    }
    block.push_back(0);
    block.push_back(0);
    void* remote = VirtualAllocEx(viewer.process(), nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    WriteProcessMemory(viewer.process(), remote, block.data(), block.size(), nullptr);
    viewer.post(viewer.window(), WM_DROPFILES, WPARAM(remote), 0);
}
