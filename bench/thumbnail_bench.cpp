// Thumbnails as Explorer's thumbnail cache asks for them, in one process: the shell
// extension DLL loaded by path, a provider per file from its class object, a stream on the
// file, GetThumbnail. Prints per file the time, the process's peak committed private memory
// while it ran, and the result; writes each picture as raw premultiplied BGRA rows
// (OUTFOLDER/NAME.bgra, SIDE x SIDE) for tools/bench_thumbnails.sh to compare.
//   thumbnail_bench DLL SIDE OUTFOLDER [--split[=TRIANGLES,RUN,ASCIIBYTES,ASCIIRUN,STRIDE[,WHOLE,WHOLEASCII]]] FILE...
// With --split the files are drawn instead by the picture code linked into
// the bench (the DLL's own sources) on the same kind of stream, and each line adds where
// the time went and the reads the sample took; the numbers replace the picture's budget.
#include <windows.h>
#include <shlwapi.h>
#include <propsys.h>
#include <thumbcache.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

#include "shell/shell_module_win.h"
#include "shell/thumbnail_picture_win.h"
#include "support/private_bytes_win.h"

namespace {

struct CountedReads {
    IStream* stream;
    unsigned long long reads;
    unsigned long long bytes;
};

bool countedRead(void* context, u64 offset, u8* out, u64 length, const ReportSink* sink) {
    CountedReads* counted = static_cast<CountedReads*>(context);
    ++counted->reads;
    counted->bytes += length;
    return readStream(counted->stream, offset, out, length, sink);
}

// The linked-in picture code on `stream`, with its split printed to `line`.
HRESULT drawSplit(IStream* stream, UINT side, const SampleBudget* budget, HBITMAP* bitmap, std::string* line) {
    STATSTG status = {};
    HRESULT result = stream->Stat(&status, STATFLAG_NONAME);
    if (FAILED(result))
        return result;
    CountedReads counted = {stream, 0, 0};
    ByteSource source = {&counted, countedRead, status.cbSize.QuadPart};
    ThumbnailTimes times;
    *bitmap = drawThumbnail(&source, side, budget, &times);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    auto ms = [&](i64 ticks) { return 1000.0 * double(ticks) / double(frequency.QuadPart); };
    char text[400];
    std::snprintf(text, sizeof text,
                  "; sample %.0f ms (%llu reads, %.1f MB), load %.0f, widen %.0f, device %.0f, upload %.0f, "
                  "draw %.0f, bitmap %.0f",
                  ms(times.sample), counted.reads, counted.bytes / 1048576.0, ms(times.load), ms(times.widen),
                  ms(times.device), ms(times.upload), ms(times.draw), ms(times.bitmap));
    *line = text;
    return *bitmap ? S_OK : E_FAIL;
}

}  // namespace

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
    bool split = count > 4 && std::wcsncmp(arguments[4], L"--split", 7) == 0;
    SampleBudget budget = pictureBudget();
    if (split) {
        unsigned long long b[7] = {budget.triangles,     budget.runRecords,     budget.asciiBytes,
                                   budget.asciiRunBytes, budget.runStride,      budget.wholeTriangles,
                                   budget.wholeAsciiBytes};
        if (arguments[4][7] == L'=')
            std::swscanf(arguments[4] + 8, L"%llu,%llu,%llu,%llu,%llu,%llu,%llu", &b[0], &b[1], &b[2], &b[3], &b[4],
                         &b[5], &b[6]);
        budget = {b[0], b[1], b[2], b[3], b[4], b[5], b[6]};
        arguments[4] = arguments[3];  // the option out of the way of the files
        ++arguments;
        --count;
    }
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
        std::string splitLine;
        if (SUCCEEDED(result) && split) {
            result = drawSplit(stream, side, &budget, &bitmap, &splitLine);
        } else {
            if (SUCCEEDED(result))
                result = factory->CreateInstance(nullptr, IID_IInitializeWithStream,
                                                 reinterpret_cast<void**>(&initialize));
            if (SUCCEEDED(result))
                result = initialize->Initialize(stream, STGM_READ);
            if (SUCCEEDED(result))
                result = initialize->QueryInterface(__uuidof(IThumbnailProvider), reinterpret_cast<void**>(&thumbnails));
            if (SUCCEEDED(result))
                result = thumbnails->GetThumbnail(side, &bitmap, &alpha);
        }
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
            std::printf("%ls: %.0f ms, peak private %.0f MB (%.0f MB over the host's), %s%s\n",
                        PathFindFileNameW(arguments[i]), ms, peakBytes / 1048576.0,
                        (peakBytes - baseline) / 1048576.0, result == S_OK ? "picture" : "no picture",
                        splitLine.c_str());
    }
    double all = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - allStart).count();
    running = false;
    watcher.join();
    std::printf("%d files in %.0f ms, %.1f ms a file after the first (which made the device), %d without a picture\n",
                count - 4, all, count > 5 ? (all - first) / (count - 5) : all, failures);
    factory->Release();
    return 0;
}
