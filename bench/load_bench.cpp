// The load road in process, stage by stage, as a user waits for it: map, detect, parse,
// identify, defaults, vertex preparation with the bounding box (no device). Median of
// several runs over a warm page cache, with a floor for the same bytes: reading the file
// once and writing the vertex array once with plain loops. Then one more load, untimed, for
// the private bytes during the load and after it (the vertex array freed).
//
// usage: load_bench [--runs N] FILE...   (one process per file gives a clean memory peak)
//        load_bench --generate FOLDER    (writes the standard inputs)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "bench/stl_text.h"
#include "stl/ascii_reader.h"
#include "stl/binary_reader.h"
#include "stl/detect.h"
#include "stl/exporter.h"
#include "stl/heap.h"
#include "stl/load_road.h"
#include "stl/map_file.h"
#include "stl/provenance.h"
#include "tests/support/private_bytes_win.h"

namespace {

// Resident memory. Wine keeps no private-bytes counters (it reports the Linux swap use there),
// but its working set is the process's resident set, in which the mapped file's pages count
// once touched: the memory beyond the file and the vertex array is what the load adds.
size_t residentBytes(bool peak) {
    PROCESS_MEMORY_COUNTERS counters = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

u64 privateBytes() { return committedPrivateBytes(GetCurrentProcess()); }

struct MemoryUse {
    u64 before, peak, after;  // private bytes before the load, the most during it, after it
};

// One load as the viewer makes it (the load road), untimed, while a second thread samples
// the private bytes: the peak while the load runs (the vertex array included) and what stays
// once the vertex array is freed, as the upload frees it, with the load's heap still alive.
bool measureMemory(const std::wstring& path, MemoryUse* use) {
    use->before = privateBytes();
    std::atomic<bool> running{true};
    std::atomic<u64> peak{use->before};
    std::thread sampler([&] {
        while (running.load()) {
            u64 now = privateBytes();
            if (now > peak.load())
                peak.store(now);
        }
    });
    LoadedFile file;
    bool ok = runLoadRoadOnFile(&file, path.c_str(), nullptr, nullptr);
    // The upload copies the array into the buffer; the sampler sees it whole meanwhile.
    Sleep(20);
    running.store(false);
    sampler.join();
    if (file.vertices.vertices)
        heapFree(file.heap, file.vertices.vertices);
    use->peak = std::max(peak.load(), privateBytes());
    use->after = privateBytes();
    releaseLoadedFile(&file);
    return ok;
}

// A torus of 2 x rings x rings triangles, its normals, and per-facet colours if asked.
void writeBinary(const std::string& path, size_t triangles, bool coloured) {
    std::ofstream out(path, std::ios::binary);
    char header[80] = {};
    std::snprintf(header, sizeof header, coloured ? "COLOR=\x80\x80\x80\xff,MATERIAL=benchmark" : "Binary STL benchmark torus");
    out.write(header, 80);
    u32 count = u32(triangles);
    out.write(reinterpret_cast<const char*>(&count), 4);
    size_t rings = size_t(std::sqrt(double(triangles) / 2.0)) + 1;
    const double pi = 3.14159265358979323846;
    std::vector<char> record(50);
    for (size_t t = 0; t < triangles; ++t) {
        size_t cell = t / 2, i = cell / rings, j = cell % rings;
        float v[9];
        // Each cell of the grid is two triangles: (a, b, c) and (a, c, d).
        size_t a[2] = {i, j}, b[2] = {i + 1, j}, c[2] = {i + 1, j + 1}, d[2] = {i, j + 1};
        const size_t* corners[3] = {a, t % 2 ? c : b, t % 2 ? d : c};
        for (int k = 0; k < 3; ++k) {
            double u = 2 * pi * double(corners[k][0] % rings) / double(rings), w = 2 * pi * double(corners[k][1] % rings) / double(rings);
            v[3 * k] = float((40 + 12 * std::cos(w)) * std::cos(u));
            v[3 * k + 1] = float((40 + 12 * std::cos(w)) * std::sin(u));
            v[3 * k + 2] = float(12 * std::sin(w));
        }
        float n[3] = {0, 0, 1};
        u16 attribute = coloured ? u16(0x8000 | (t & 0x7FFF)) : 0;
        std::memcpy(record.data(), n, 12);
        std::memcpy(record.data() + 12, v, 36);
        std::memcpy(record.data() + 48, &attribute, 2);
        out.write(record.data(), 50);
    }
}

void generate(const std::string& folder) {
    CreateDirectoryA(folder.c_str(), nullptr);
    writeBinary(folder + "\\bin_1m.stl", 1000000, false);
    writeBinary(folder + "\\bin_10m.stl", 10000000, false);
    writeBinary(folder + "\\colour_1m.stl", 1000000, true);
    size_t facets;
    std::string text = generateAsciiStl(50 * 1000 * 1000, &facets);
    std::ofstream(folder + "\\ascii_50mb.stl", std::ios::binary) << text;
    text = generateAsciiStl(254 * 1000 * 1000, &facets);
    std::ofstream(folder + "\\ascii_1m.stl", std::ios::binary) << text;
}

struct Times {
    std::vector<double> map, detect, parse, identify, defaults, prepare, total, road, floor;
};

bool measure(const std::wstring& path, Times* times, u64* size, u64* triangles) {
    Clock::time_point start = Clock::now();
    const u8* mapped = nullptr;
    if (!mapFile(&mapped, size, path.c_str(), nullptr) || !mapped)
        return false;
    times->map.push_back(since(start));

    Clock::time_point t = Clock::now();
    StlFormat format = detectStlFormat(mapped, *size);
    times->detect.push_back(since(t));
    if (format == kFormatUnknown)
        return false;

    t = Clock::now();
    LoadHeap heap = createLoadHeap();
    LoadResult result = {};
    result.format = format;
    bool parsed = format == kFormatAscii ? readAsciiStl(&result.mesh, mapped, *size, heap, nullptr)
                                         : readBinaryStl(&result.mesh, mapped, *size, heap, nullptr);
    times->parse.push_back(since(t));
    if (!parsed)
        return false;

    t = Clock::now();
    if (format == kFormatAscii)
        identifyAsciiExporter(&result.mesh, &result.provenance, mapped, mapped + *size, nullptr);
    else
        identifyBinaryExporter(&result.mesh, &result.provenance, mapped + *size, nullptr);
    times->identify.push_back(since(t));

    t = Clock::now();
    applyLoadDefaults(&result.provenance, nullptr);
    times->defaults.push_back(since(t));

    t = Clock::now();
    PreparedVertices prepared;
    f32 centre[3], box[3];
    if (!prepareVertices(&result, heap, nullptr, &prepared))
        return false;
    measureBoundingBox(&prepared, result.mesh.solidCount, result.provenance.metresPerUnit, centre, box);
    times->prepare.push_back(since(t));
    times->total.push_back(since(start));
    *triangles = prepared.vertexCount / 3;
    u64 bytes = prepared.vertexCount * sizeof(GpuVertex);
    destroyLoadHeap(heap);

    // The floor: every byte of the file read once, a vertex array allocated and written once.
    t = Clock::now();
    u64 sum = 0;
    const u64* words = reinterpret_cast<const u64*>(mapped);
    for (u64 i = 0; i < *size / 8; ++i)
        sum += words[i];
    u64* out = static_cast<u64*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    for (u64 i = 0; i < bytes / 8; ++i)
        out[i] = sum + i;
    times->floor.push_back(since(t));
    if (out[bytes / 16] == 0x5A && sum == 1)
        std::printf(" ");  // keeps the loops
    VirtualFree(out, 0, MEM_RELEASE);
    unmapFile(mapped);

    // The same stages as one call, as the viewer and the console tool run them.
    t = Clock::now();
    LoadedFile file;
    bool loaded = runLoadRoadOnFile(&file, path.c_str(), nullptr, nullptr);
    times->road.push_back(since(t));
    releaseLoadedFile(&file);
    return loaded;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--generate" && i + 1 < argc) {
            generate(argv[++i]);
            return 0;
        }
        if (argument == "--runs" && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else
            files.push_back(argument);
    }
    for (const std::string& file : files) {
        std::wstring path(file.begin(), file.end());
        size_t before = residentBytes(false);
        Times times;
        u64 size = 0, triangles = 0;
        for (int run = 0; run < runs; ++run) {
            if (!measure(path, &times, &size, &triangles)) {
                std::fprintf(stderr, "load_bench: %s did not load\n", file.c_str());
                return 1;
            }
        }
        MemoryUse memory = {};
        if (!measureMemory(path, &memory)) {
            std::fprintf(stderr, "load_bench: %s did not load\n", file.c_str());
            return 1;
        }
        size_t peak = residentBytes(true);
        double vertexArray = double(triangles) * 3 * sizeof(GpuVertex);
        double beyond = (double(peak) - double(before) - double(size) - vertexArray) / double(triangles);
        double total = median(times.total);
        const char* name = std::strrchr(file.c_str(), '\\') ? std::strrchr(file.c_str(), '\\') + 1 : file.c_str();
        std::printf("%s\t%.1f MB\t%llu tri\tmap %.2f\tdetect %.3f\tparse %.1f\tidentify %.3f\tdefaults %.3f\tprepare %.1f\t"
                    "total %.1f ms\troad %.1f ms\t%.0f MB/s\t%.1f Mtri/s\tfloor %.1f ms (x%.2f)\tpeak %.1f B/tri beyond file and vertex array\t"
                    "private during %.1f B/tri (%.1f MB; limit %.1f MB)\tprivate after %.2f B/tri\n",
                    name, double(size) / 1e6, (unsigned long long)triangles, median(times.map), median(times.detect),
                    median(times.parse), median(times.identify), median(times.defaults), median(times.prepare), total, median(times.road),
                    double(size) / 1e6 / (total / 1e3), double(triangles) / 1e6 / (total / 1e3), median(times.floor),
                    total / median(times.floor), beyond, double(memory.peak - memory.before) / double(triangles),
                    double(memory.peak - memory.before) / 1e6,
                    (double(size) + 90.0 * double(triangles) + 16.0 * 1048576.0) / 1e6,
                    (double(memory.after) - double(memory.before)) / double(triangles));
    }
    return 0;
}
