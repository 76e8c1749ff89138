// Thumbnails as Explorer's thumbnail cache asks for them, in one process: the shell
// extension DLL loaded by path, a provider per file from its class object, a stream on the
// file, GetThumbnail. Prints per file the time, the process's peak committed private memory
// while it ran, and the result; writes each picture as raw premultiplied BGRA rows
// (OUTFOLDER/NAME.bgra, SIDE x SIDE) for tools/bench_thumbnails.sh to compare.
//   thumbnail_bench DLL SIDE OUTFOLDER FILE...
#include <windows.h>
#include <shlwapi.h>
#include <propsys.h>
#include <thumbcache.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "support/private_bytes_win.h"

int wmain(int count, wchar_t** arguments) {
    if (count < 5) {
        std::fprintf(stderr, "usage: thumbnail_bench DLL SIDE OUTFOLDER FILE...\n");
        return 2;
    }
    HMODULE module = LoadLibraryW(arguments[1]);
    auto getClassObject = module ? reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
                                       reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")))
                                 : nullptr;
    const CLSID provider = {0x5b8e2c71, 0x94d3, 0x4f0a, {0xa6, 0xe5, 0x3c, 0x19, 0xd7, 0xf4, 0x0b, 0x82}};
    IClassFactory* factory = nullptr;
    if (!getClassObject || FAILED(getClassObject(provider, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        std::fprintf(stderr, "thumbnail_bench: cannot load the provider from %ls\n", arguments[1]);
        return 1;
    }
    UINT side = UINT(_wtoi(arguments[2]));
    std::atomic<unsigned long long> peak{0};
    std::atomic<bool> running{true};
    std::thread watcher([&] {
        while (running) {
            unsigned long long now = committedPrivateBytes(GetCurrentProcess());
            if (now > peak)
                peak = now;
            Sleep(1);
        }
    });
    unsigned long long baseline = committedPrivateBytes(GetCurrentProcess());
    auto allStart = std::chrono::steady_clock::now();
    double first = 0;
    int failures = 0;
    for (int i = 4; i < count; ++i) {
        peak = committedPrivateBytes(GetCurrentProcess());
        auto start = std::chrono::steady_clock::now();
        IStream* stream = nullptr;
        IInitializeWithStream* initialize = nullptr;
        IThumbnailProvider* thumbnails = nullptr;
        HBITMAP bitmap = nullptr;
        WTS_ALPHATYPE alpha;
        HRESULT result = SHCreateStreamOnFileEx(arguments[i], STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE, nullptr, &stream);
        if (SUCCEEDED(result))
            result = factory->CreateInstance(nullptr, IID_IInitializeWithStream, reinterpret_cast<void**>(&initialize));
        if (SUCCEEDED(result))
            result = initialize->Initialize(stream, STGM_READ);
        if (SUCCEEDED(result))
            result = initialize->QueryInterface(__uuidof(IThumbnailProvider), reinterpret_cast<void**>(&thumbnails));
        if (SUCCEEDED(result))
            result = thumbnails->GetThumbnail(side, &bitmap, &alpha);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (i == 4)
            first = ms;
        unsigned long long peakBytes = peak;
        if (thumbnails)
            thumbnails->Release();
        if (initialize)
            initialize->Release();
        if (stream)
            stream->Release();
        failures += result != S_OK;
        std::string name = std::to_string(i - 4);
        if (bitmap) {
            DIBSECTION section = {};
            GetObjectW(bitmap, sizeof section, &section);
            std::wstring path = std::wstring(arguments[3]) + L"\\" + PathFindFileNameW(arguments[i]) + L".bgra";
            if (FILE* file = _wfopen(path.c_str(), L"wb")) {
                std::fwrite(section.dsBm.bmBits, 4, size_t(side) * side, file);
                std::fclose(file);
            }
            DeleteObject(bitmap);
        }
        if (count <= 8)  // the big files one by one; a folder of small ones only in total
            std::printf("%ls: %.0f ms, peak private %.0f MB (%.0f MB over the host's), %s\n",
                        PathFindFileNameW(arguments[i]), ms, peakBytes / 1048576.0,
                        (peakBytes - baseline) / 1048576.0, result == S_OK ? "picture" : "no picture");
    }
    double all = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - allStart).count();
    running = false;
    watcher.join();
    std::printf("%d files in %.0f ms, %.1f ms a file after the first (which made the device), %d without a picture\n",
                count - 4, all, count > 5 ? (all - first) / (count - 5) : all, failures);
    factory->Release();
    return 0;
}
