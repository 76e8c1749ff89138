// Previews as Explorer's preview pane asks for them, in one host process: the shell
// extension DLL loaded by path, one handler from its class object, a stream per file,
// SetWindow, DoPreview, Unload. Prints per file the time from DoPreview to the first frame
// on screen (the view's corner in the host's background colour, which the placeholder never
// has) and to the line's last state (the mesh check, or a failure), then the handler's
// figures over ROUNDS rounds of the files and the host's committed private memory.
//   preview_bench DLL ROUNDS FILE...
#include <windows.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "support/private_bytes_win.h"

namespace {

// Previews alternate between two background colours, so that what the last one left on the
// host's surface never passes for the next one's frame.
const COLORREF kBackgrounds[2] = {RGB(0x20, 0x40, 0x80), RGB(0x80, 0x40, 0x20)};

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void pump() {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
        DispatchMessageW(&message);
}

// The view has drawn a frame: its corner holds the background colour the handler was given,
// and some pixels are neither that (as the pane's own background, seen before the view's
// first paint, is) nor the placeholder's workspace colour.
bool frameShown(HWND host, COLORREF background) {
    HWND view = FindWindowExW(FindWindowExW(host, nullptr, L"VantorelPreview", nullptr), nullptr, L"STLView", nullptr);
    RECT client;
    GetClientRect(view, &client);
    HDC dc = GetDC(view), memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    std::vector<COLORREF> pixels(size_t(client.right) * client.bottom);
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB}};
    GetDIBits(memory, bitmap, 0, client.bottom, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(view, dc);
    // DIB pixels are blue in the low byte, COLORREFs red.
    auto rgb = [](COLORREF c) { return RGB(GetBValue(c), GetGValue(c), GetRValue(c)); };
    if (pixels.empty() || rgb(pixels[0] & 0xFFFFFF) != background)
        return false;
    COLORREF workspace = GetSysColor(COLOR_APPWORKSPACE);
    return std::any_of(pixels.begin(), pixels.end(), [&](COLORREF c) {
        return rgb(c & 0xFFFFFF) != background && rgb(c & 0xFFFFFF) != workspace;
    });
}

// The line's last state: 1 for a model with its mesh check, -1 for a failure, 0 before.
int lineFinal(HWND host) {
    wchar_t text[1024] = {};
    GetWindowTextW(FindWindowExW(FindWindowExW(host, nullptr, L"VantorelPreview", nullptr), nullptr, L"Static", nullptr),
                   text, 1024);
    std::wstring line = text;
    if (line.find(L"mesh: ") != line.npos)
        return 1;
    return !line.empty() && line.rfind(L"Binary STL", 0) && line.rfind(L"ASCII STL", 0) ? -1 : 0;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
    if (count < 4) {
        std::fprintf(stderr, "usage: preview_bench DLL ROUNDS FILE...\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HMODULE module = LoadLibraryW(arguments[1]);
    auto getClassObject = module ? reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
                                       reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")))
                                 : nullptr;
    const CLSID previewClass = {0xa3c4e6f1, 0x2b7d, 0x4e58, {0x9c, 0x0a, 0x71, 0xd5, 0xb3, 0x8e, 0x6f, 0x24}};
    IClassFactory* factory = nullptr;
    IPreviewHandler* handler = nullptr;
    IPreviewHandlerVisuals* visuals = nullptr;
    if (!getClassObject || FAILED(getClassObject(previewClass, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        FAILED(factory->CreateInstance(nullptr, IID_IPreviewHandler, reinterpret_cast<void**>(&handler))) ||
        FAILED(handler->QueryInterface(IID_IPreviewHandlerVisuals, reinterpret_cast<void**>(&visuals)))) {
        std::fprintf(stderr, "preview_bench: cannot make a preview handler from %ls\n", arguments[1]);
        return 1;
    }
    HWND host = CreateWindowExW(0, L"STATIC", L"preview bench", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 640, 480,
                                nullptr, nullptr, nullptr, nullptr);
    RECT area = {0, 0, 640, 480};
    int rounds = std::max(1, _wtoi(arguments[2]));
    std::vector<double> frames;
    unsigned long long memoryAfterFirstRound = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int i = 3; i < count; ++i) {
            IStream* stream = nullptr;
            IInitializeWithStream* initialize = nullptr;
            HRESULT result = SHCreateStreamOnFileEx(arguments[i], STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE, nullptr, &stream);
            if (SUCCEEDED(result))
                result = handler->QueryInterface(IID_IInitializeWithStream, reinterpret_cast<void**>(&initialize));
            if (SUCCEEDED(result))
                result = initialize->Initialize(stream, STGM_READ);
            if (initialize)
                initialize->Release();
            COLORREF background = kBackgrounds[(round * count + i) % 2];
            visuals->SetBackgroundColor(background);
            auto start = std::chrono::steady_clock::now();
            if (SUCCEEDED(result))
                handler->SetWindow(host, &area);
            if (SUCCEEDED(result))
                result = handler->DoPreview();
            double frame = -1, last = -1;
            // A model may show nothing but the background (a single face seen from behind):
            // its frame is given up 5 s after its line.
            for (int state = 0; SUCCEEDED(result) && since(start) < 120000 &&
                                (last < 0 || (state > 0 && frame < 0 && since(start) < last + 5000));) {
                pump();
                if (frame < 0 && frameShown(host, background))
                    frame = since(start);
                if (last < 0 && (state = lineFinal(host)) != 0)
                    last = since(start);
            }
            if (frame >= 0 && !(round == 0 && i == 3))
                frames.push_back(frame);
            if (round == 0)
                std::printf("%ls: first frame %.0f ms, last line %.0f ms%s\n", PathFindFileNameW(arguments[i]), frame,
                            last, round == 0 && i == 3 ? " (made the device)" : "");
            handler->Unload();
            if (stream)
                stream->Release();
        }
        if (round == 0)
            memoryAfterFirstRound = committedPrivateBytes(GetCurrentProcess());
    }
    std::sort(frames.begin(), frames.end());
    if (!frames.empty())
        std::printf("%zu previews after the first: first frame median %.0f ms, 90th percentile %.0f ms, most %.0f ms\n",
                    frames.size(), frames[frames.size() / 2], frames[frames.size() * 9 / 10], frames.back());
    std::printf("private bytes after the first round %.1f MB, after %d rounds %.1f MB\n",
                memoryAfterFirstRound / 1048576.0, rounds, committedPrivateBytes(GetCurrentProcess()) / 1048576.0);
    visuals->Release();
    handler->Release();
    factory->Release();
    DestroyWindow(host);
    return 0;
}
