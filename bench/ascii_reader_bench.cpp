// Throughput of the ASCII reader on a large generated file, measured inside the process:
// median of several runs over the same bytes in memory (warm), reader only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/stl_text.h"
#include "stl/ascii_reader.h"

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? size_t(std::atol(argv[1])) : 100;
    int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    size_t facets = 0;
    std::string text = generateAsciiStl(megabytes * 1000 * 1000, &facets);
    const u8* bytes = reinterpret_cast<const u8*>(text.data());

    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        LoadHeap heap = createLoadHeap();
        StlMesh mesh = {};
        auto start = std::chrono::steady_clock::now();
        bool ok = readAsciiStl(&mesh, bytes, text.size(), heap, nullptr);
        auto stop = std::chrono::steady_clock::now();
        if (!ok || mesh.solidCount != 1 || mesh.solids[0].triangleCount != facets) {
            std::fprintf(stderr, "ascii_reader_bench: the reader failed on the generated file\n");
            return 1;
        }
        destroyLoadHeap(heap);
        seconds.push_back(std::chrono::duration<double>(stop - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    double median = seconds[seconds.size() / 2];
    std::printf("ascii reader: %.1f MB, %zu facets, %d runs: median %.1f ms, %.0f MB/s, %.2f M facets/s (best %.1f ms)\n",
                double(text.size()) / 1e6, facets, runs, median * 1e3, double(text.size()) / 1e6 / median,
                double(facets) / 1e6 / median, seconds.front() * 1e3);
    return 0;
}
