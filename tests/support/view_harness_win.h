// A 3D view on a plain parent window of the test, real load jobs on the thread pool, and
// the view's frame read back from its render target.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "render/frame_win.h"
#include "render/view_window_win.h"
#include "stl/load_job.h"
#include "support/sinks.h"
#include "support/stl_bytes.h"
#include "support/temp_folder_win.h"

// Pumps this thread's messages until `done` holds or `milliseconds` pass.
inline bool pumpUntil(const std::function<bool()>& done, DWORD milliseconds = 20000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

struct Pixels {
    u32 width = 0, height = 0;
    std::vector<u32> rgb;  // 0xRRGGBB
    u32 at(u32 x, u32 y) const { return rgb[y * width + x]; }
    // Pixels for which `keep` holds: count and the mean position.
    template <typename Keep>
    u32 count(Keep keep, double* meanY = nullptr) const {
        u32 n = 0;
        double sumY = 0;
        for (u32 y = 0; y < height; ++y)
            for (u32 x = 0; x < width; ++x)
                if (keep(at(x, y))) {
                    ++n;
                    sumY += y;
                }
        if (meanY)
            *meanY = n ? sumY / n : -1;
        return n;
    }
};

// Resolves the multisampled back buffer and copies it where the CPU reads it.
inline Pixels readBackBuffer(const Renderer& r, IDXGISwapChain* swapChain) {
    Pixels out;
    ID3D11Texture2D* backBuffer = nullptr;
    if (FAILED(swapChain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&backBuffer))))
        return out;
    D3D11_TEXTURE2D_DESC texture;
    backBuffer->GetDesc(&texture);
    texture.SampleDesc = {1, 0};
    texture.BindFlags = 0;
    ID3D11Texture2D* resolved = nullptr;
    r.device->CreateTexture2D(&texture, nullptr, &resolved);
    r.context->ResolveSubresource(resolved, 0, backBuffer, 0, texture.Format);
    texture.Usage = D3D11_USAGE_STAGING;
    texture.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ID3D11Texture2D* staging = nullptr;
    r.device->CreateTexture2D(&texture, nullptr, &staging);
    r.context->CopyResource(staging, resolved);
    D3D11_MAPPED_SUBRESOURCE mapped;
    if (SUCCEEDED(r.context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped))) {
        out.width = texture.Width;
        out.height = texture.Height;
        for (u32 y = 0; y < texture.Height; ++y)
            for (u32 x = 0; x < texture.Width; ++x) {
                const u8* p = static_cast<const u8*>(mapped.pData) + y * mapped.RowPitch + 4 * x;
                out.rgb.push_back(u32(p[0]) << 16 | u32(p[1]) << 8 | p[2]);
            }
        r.context->Unmap(staging, 0);
    }
    staging->Release();
    resolved->Release();
    backBuffer->Release();
    return out;
}

inline u32 workspaceColour() {
    COLORREF c = GetSysColor(COLOR_APPWORKSPACE);
    return u32(GetRValue(c)) << 16 | u32(GetGValue(c)) << 8 | GetBValue(c);
}

struct ProcessCounters {
    u64 privateBytes;
    DWORD handles;
    DWORD heaps;
};

inline ProcessCounters processCounters() {
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    HANDLE heaps[256];
    return {memory.PrivateUsage, handles, GetProcessHeaps(256, heaps)};
}

inline std::wstring fixturePath(const char* name) {
    std::string path = std::string(VANTOREL_FIXTURES) + "\\" + name;
    return std::wstring(path.begin(), path.end());
}

class ViewHarness {
public:
    explicit ViewHarness(int width = 256, int height = 256) {
        static bool registered = [] {
            registerViewClass(GetModuleHandleW(nullptr));
            WNDCLASSW parentClass = {};
            parentClass.lpfnWndProc = parentProc;
            parentClass.hInstance = GetModuleHandleW(nullptr);
            parentClass.lpszClassName = L"VantorelViewTestParent";
            ATOM atom = RegisterClassW(&parentClass);
            if (!atom)
                ADD_FAILURE() << "parent class " << GetLastError();
            return atom != 0;
        }();
        (void)registered;
        parent = CreateWindowExW(0, L"VantorelViewTestParent", L"view test", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!parent)
            ADD_FAILURE() << "parent " << GetLastError();
        SetWindowLongPtrW(parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        view = CreateWindowExW(0, kViewClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height, parent, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        if (!state()) {
            ADD_FAILURE() << "no view window: parent " << parent << ", error " << GetLastError();
            return;
        }
        state()->sink = &sink.sink;
    }
    ~ViewHarness() {
        pumpUntil([&] { return running == 0; });
        if (shown)
            detachMesh(view);
        for (LoadJob* job : finished)
            releaseLoadJob(job);
        if (IsWindow(parent))
            DestroyWindow(parent);
    }

    ViewState* state() const { return viewStateOf(view); }

    // A file of these bytes in the harness's temporary folder.
    std::wstring file(const wchar_t* name, const void* bytes, size_t size) {
        return files.write(name, std::string(static_cast<const char*>(bytes), size));
    }

    LoadJob* start(const std::wstring& path) {
        LoadJob* job = createLoadJob(path.c_str(), view, parent, nullptr);
        if (job && queueLoadJob(job))
            ++running;
        return job;
    }

    bool done(LoadJob* job) const { return std::find(finished.begin(), finished.end(), job) != finished.end(); }

    // Loads a file to the end; the job stays owned by the harness.
    LoadJob* load(const std::wstring& path) {
        LoadJob* job = start(path);
        pumpUntil([&] { return done(job); });
        return job;
    }

    // Loads and shows a file, as the main window does with a finished load.
    LoadJob* show(const std::wstring& path, bool yUp) {
        LoadJob* job = load(path);
        if (job->status != kJobLoaded)
            return job;
        if (shown)
            detachMesh(view);
        state()->yUp = yUp;
        handOverMesh(view, job->gpuMesh);
        shown = true;
        return job;
    }

    // The frame that painting would present, read back before presentation.
    Pixels frame() {
        ViewState* v = state();
        acquireSpinLock(&v->gpuLock);
        COLORREF c = GetSysColor(COLOR_APPWORKSPACE);
        const f32 clear[4] = {srgbToLinear[GetRValue(c)], srgbToLinear[GetGValue(c)], srgbToLinear[GetBValue(c)], 1};
        drawFrame(&v->renderer, v->wireframe, v->mesh, v->target.renderTargetView, v->target.depthView, v->width,
                  v->height, &v->rotation, v->pan, v->radius, v->zoom, v->yUp, clear, v->sink);
        Pixels out = readBackBuffer(v->renderer, v->target.swapChain);
        releaseSpinLock(&v->gpuLock);
        return out;
    }

    TempFolder files{L"vantorel_view_"};  // outlives the jobs that read its files
    HWND parent = nullptr;
    HWND view = nullptr;
    TranslatingSink sink;  // the view's sink, as the main window's would be
    std::vector<LoadJob*> finished;
    int running = 0;
    bool shown = false;

private:
    static LRESULT CALLBACK parentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        ViewHarness* self = reinterpret_cast<ViewHarness*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == kLoadCompleted && self) {
            self->finished.push_back(reinterpret_cast<LoadJob*>(wParam));
            --self->running;
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
};

// The twelve triangles of a box, counter-clockwise seen from outside, with one attribute word.
inline std::vector<BinaryTriangle> box(f32 x0, f32 y0, f32 z0, f32 x1, f32 y1, f32 z1, u16 attribute = 0) {
    // Corners by bits: 1 = x1, 2 = y1, 4 = z1; two triangles a face.
    static const int faces[12][3] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                                     {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
    std::vector<BinaryTriangle> out;
    for (const auto& face : faces) {
        BinaryTriangle t;
        for (int i = 0; i < 3; ++i) {
            int c = face[i];
            t.vertices[3 * i] = c & 1 ? x1 : x0;
            t.vertices[3 * i + 1] = c & 2 ? y1 : y0;
            t.vertices[3 * i + 2] = c & 4 ? z1 : z0;
        }
        t.attribute = attribute;
        out.push_back(t);
    }
    return out;
}

inline std::vector<u8> binaryFile(const std::string& header, const std::vector<BinaryTriangle>& triangles) {
    BinaryStlBuilder builder(header);
    builder.count(u32(triangles.size()));
    for (const BinaryTriangle& t : triangles)
        builder.triangle(t);
    return builder.bytes();
}

// The lines a job collected.
inline std::vector<std::u16string> jobLines(const LoadJob* job) {
    std::vector<std::u16string> lines;
    if (!job->messages.text)
        return lines;
    std::u16string text(job->messages.text, job->messages.bytes / 2);
    for (size_t start = 0, end; (end = text.find(u"\r\n", start)) != std::u16string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}
