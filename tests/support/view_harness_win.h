// What the Windows tests share: waits that pump messages, fixture paths, large files, and a
// 3D view on a plain parent window of the test with real load jobs on the thread pool, what
// it shows read back through GDI.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "render/load_gpu_win.h"
#include "render/view_window_win.h"
#include "support/sinks.h"
#include "support/stl_bytes.h"
#include "support/temp_folder_win.h"

// Polls `done` until it holds or `milliseconds` pass; pumps this thread's own messages.
template <typename Condition>
inline bool waitFor(Condition done, DWORD milliseconds = 20000, DWORD interval = 20) {
    for (DWORD start = GetTickCount();; MsgWaitForMultipleObjects(0, nullptr, FALSE, interval, QS_ALLINPUT)) {
        if (done())
            return true;
        if (GetTickCount() - start > milliseconds)
            return false;
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageW(&message);
    }
}

// A window's pixels can be read back only from a desktop that is shown: the window station
// has visible display surfaces (WSF_VISIBLE, "USEROBJECTFLAGS", Microsoft Learn) and the
// input desktop is ours to open (not so while the workstation is locked). A service's
// session, as some CI runners have, has neither.
inline bool desktopVisible() {
    USEROBJECTFLAGS flags = {};
    if (!GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) ||
        !(flags.dwFlags & WSF_VISIBLE))
        return false;
    HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    if (input)
        CloseDesktop(input);
    return input != nullptr;
}
#define SKIP_WITHOUT_VISIBLE_DESKTOP()                                                            \
    if (!desktopVisible())                                                                         \
    GTEST_SKIP() << "no visible desktop (a service session or a locked workstation): the window's " \
                    "pixels cannot be read"

inline std::wstring windowsPath(const char* path) {
    wchar_t full[MAX_PATH * 4];
    GetFullPathNameW(std::wstring(path, path + strlen(path)).c_str(), MAX_PATH * 4, full, nullptr);
    std::replace(full, full + lstrlenW(full), L'/', L'\\');
    return full;
}

inline std::wstring fixture(const wchar_t* name) { return windowsPath(VANTOREL_FIXTURES) + L"\\" + name; }

// A binary file of `count` copies of one triangle, spread along x and z (heaped on one
// spot, a large count fills the view again and again: slow to draw).
inline std::string binaryStl(u32 count) {
    std::string bytes(84 + size_t(count) * 50, '\0');
    memcpy(&bytes[80], &count, 4);
    for (u32 i = 0; i < count; ++i) {
        float triangle[12] = {0, 0, 1, float(i % 1000), 0, 0, float(i % 1000) + 1, 0, 0, float(i % 1000), 1, float(i / 1000)};
        memcpy(&bytes[84 + size_t(i) * 50], triangle, sizeof triangle);
    }
    return bytes;
}

// A large file written a block at a time: `blocks` MB of binary triangles (20000 each), or
// `blocks` × 4 MB of ASCII facets as CAD programs write them, ending in "endsolid".
inline std::wstring writeLarge(TempFolder& folder, const std::wstring& name, bool ascii, u32 blocks) {
    static const std::string triangles = binaryStl(20000).substr(84), facets = [] {
        std::string block;
        while (block.size() < (4u << 20))
            block += "  facet normal 0.000000e+00 0.000000e+00 1.000000e+00\n    outer loop\n"
                     "      vertex 1.250000e+01 3.500000e+00 7.000000e+00\n      vertex 2.250000e+01 3.500000e+00 7.000000e+00\n"
                     "      vertex 1.250000e+01 9.500000e+00 7.000000e+00\n    endloop\n  endfacet\n";
        return block;
    }();
    std::wstring path = ascii ? folder.write(name, "solid large\n") : folder.write(name, BinaryStlBuilder().count(blocks * 20000).bytes());
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const std::string& block = ascii ? facets : triangles;
    DWORD written;
    for (u32 i = 0; i < blocks; ++i)
        WriteFile(file, block.data(), DWORD(block.size()), &written, nullptr);
    if (ascii)
        WriteFile(file, "endsolid large\n", 15, &written, nullptr);
    CloseHandle(file);
    return path;
}

struct Pixels {
    u32 width = 0, height = 0;
    std::vector<u32> rgb;  // 0xRRGGBB
    u32 at(u32 x, u32 y) const { return rgb[y * width + x]; }
    // Pixels for which `keep` holds: count and the mean row.
    template <typename Keep>
    u32 count(Keep keep, double* meanY = nullptr) const {
        u32 n = 0;
        double sumY = 0;
        for (u32 i = 0; i < rgb.size(); ++i)
            if (keep(rgb[i]))
                ++n, sumY += i / width;
        if (meanY)
            *meanY = n ? sumY / n : -1;
        return n;
    }
};

inline u32 workspaceColour() {
    COLORREF c = GetSysColor(COLOR_APPWORKSPACE);
    return u32(GetRValue(c)) << 16 | u32(GetGValue(c)) << 8 | GetBValue(c);
}

// What a window shows, read through GDI: through its own DC, or (for a window of another
// process, whose surface Wine keeps in that process) from the screen where it lies.
inline Pixels windowPixels(HWND window, bool fromScreen = false) {
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    if (fromScreen)
        ClientToScreen(window, &origin);
    Pixels out{u32(client.right), u32(client.bottom), std::vector<u32>(client.right * client.bottom)};
    HDC screen = GetDC(fromScreen ? nullptr : window), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB}};
    GetDIBits(memory, bitmap, 0, client.bottom, out.rgb.data(), &info, DIB_RGB_COLORS);
    for (u32& pixel : out.rgb)
        pixel &= 0xFFFFFF;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(fromScreen ? nullptr : window, screen);
    return out;
}

class ViewHarness {
public:
    explicit ViewHarness(int width = 256, int height = 256) {
        WNDCLASSW parentClass = {0, parentProc, 0, 0, GetModuleHandleW(nullptr)};
        parentClass.lpszClassName = L"VantorelViewTestParent";
        static bool registered = registerViewClass(parentClass.hInstance) && RegisterClassW(&parentClass);
        parent = CreateWindowExW(0, parentClass.lpszClassName, L"view test", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                 nullptr, nullptr, parentClass.hInstance, nullptr);
        SetWindowLongPtrW(parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        view = CreateWindowExW(0, kViewClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height, parent, nullptr,
                               parentClass.hInstance, nullptr);
        if (!registered || !state())
            ADD_FAILURE() << "no view window: parent " << parent << ", error " << GetLastError();
        else
            state()->sink = &sink.sink;
    }
    ~ViewHarness() {
        waitFor([&] { return running == 0; });
        if (shown)
            detachMesh(view);
        for (LoadJob* job : finished)
            releaseLoadJob(job);
        DestroyWindow(parent);
    }

    ViewState* state() const { return viewStateOf(view); }

    LoadJob* start(const std::wstring& path) {
        LoadJob* job = createViewLoadJob(path.c_str(), view, parent, nullptr);
        if (job && queueLoadJob(job))
            ++running;
        return job;
    }

    bool done(LoadJob* job) const { return std::find(finished.begin(), finished.end(), job) != finished.end(); }

    // Loads a file to the end and shows it, as the main window does with a finished load; the
    // job stays owned by the harness.
    LoadJob* show(const std::wstring& path, bool yUp = false) {
        LoadJob* job = start(path);
        waitFor([&] { return done(job); });
        if (job->status != kJobLoaded)
            return job;
        if (shown)
            detachMesh(view);
        state()->yUp = yUp;
        handOverMesh(view, jobMesh(job));
        shown = true;
        return job;
    }

    void paint() const {
        InvalidateRect(view, nullptr, FALSE);
        UpdateWindow(view);
    }

    // What the view shows once painted, read through GDI: the frame, or the placeholder.
    Pixels frame() const {
        paint();
        return windowPixels(view);
    }

    TempFolder files{L"vantorel_view_"};  // outlives the jobs that read its files
    HWND parent = nullptr;
    HWND view = nullptr;
    TranslatingSink sink;  // the view's sink, as the main window's would be
    std::vector<LoadJob*> finished;
    std::vector<WPARAM> commands;  // WM_COMMAND from the view
    int running = 0;
    bool shown = false;

private:
    static LRESULT CALLBACK parentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        ViewHarness* self = reinterpret_cast<ViewHarness*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_COMMAND && self)
            self->commands.push_back(wParam);
        if (message != kLoadCompleted || !self)
            return DefWindowProcW(window, message, wParam, lParam);
        self->finished.push_back(reinterpret_cast<LoadJob*>(wParam));
        --self->running;
        return 0;
    }
};

// The twelve triangles of a box, counter-clockwise seen from outside.
inline std::vector<BinaryTriangle> box(const f32 lo[3], const f32 hi[3], u16 attribute = 0) {
    // Corners by bits: 1 = x, 2 = y, 4 = z at hi; two triangles a face.
    static const int faces[12][3] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                                     {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
    std::vector<BinaryTriangle> triangles(12);
    for (int f = 0; f < 12; ++f) {
        for (int i = 0; i < 9; ++i)
            triangles[f].vertices[i] = faces[f][i / 3] >> (i % 3) & 1 ? hi[i % 3] : lo[i % 3];
        triangles[f].attribute = attribute;
    }
    return triangles;
}
