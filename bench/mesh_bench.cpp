// The mesh check beside the load road, on the same file in the same process, runs
// interleaved so that both meet the same machine: the load (map, detect, parse, identify,
// defaults, vertices and box) and then the check of its vertices. Medians of several runs
// over a warm page cache, the private bytes the check adds while it runs (sampled by a
// second thread) and what stays after it, and the check's answers, for comparison with
// other tools.
//
// usage: mesh_bench [--runs N] FILE...
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "stl/load_road.h"
#include "stl/mesh_check.h"
#include "tests/support/private_bytes_win.h"

namespace {

u64 privateBytes() {
    return committedPrivateBytes(GetCurrentProcess());
}

// The check reports the thousandths done after each step (and the last value again while a
// step runs): a new value marks the end of a step.
struct StepClock {
    Clock::time_point start;
    uptr last;
    std::vector<double> ends;
};

bool onProgress(void* context, ResultCode code, uptr argument, const Utf16*) {
    StepClock* clock = static_cast<StepClock*>(context);
    if (code == kProgress && argument != clock->last) {
        clock->last = argument;
        clock->ends.push_back(since(clock->start));
    }
    return true;
}

// Answers stop once the deadline has passed, as the viewer's sink does after a newer load,
// and notes when it first did.
struct StopClock {
    Clock::time_point start;
    double deadline;  // ms after start
    double told;
};

bool onStopClock(void* context, ResultCode, uptr, const Utf16*) {
    StopClock* clock = static_cast<StopClock*>(context);
    double now = since(clock->start);
    if (now >= clock->deadline && clock->told == 0)
        clock->told = now;
    return now < clock->deadline;
}

const char* const kStepNames[] = {"keys+area", "scatter", "weld", "edges", "shells"};
const int kSteps = 5;

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--runs" && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else
            files.push_back(argument);
    }
    for (const std::string& file : files) {
        std::wstring path(file.begin(), file.end());
        std::vector<double> loads, checks;
        std::vector<double> steps[kSteps];
        MeshCheck check = {};
        for (int run = 0; run < runs; ++run) {
            LoadedFile loaded;
            Clock::time_point start = Clock::now();
            bool ok = runLoadRoadOnFile(&loaded, path.c_str(), nullptr, nullptr);
            loads.push_back(since(start));
            StepClock clock = {Clock::now(), 0, {}};
            ReportSink sink = {&clock, onProgress};
            ok = ok && checkMesh(&loaded.vertices, loaded.result.provenance.metresPerUnit, &sink, &check);
            checks.push_back(since(clock.start));
            for (int i = 0; i < kSteps && i < int(clock.ends.size()); ++i)
                steps[i].push_back(clock.ends[i] - (i ? clock.ends[i - 1] : 0));
            releaseLoadedFile(&loaded);
            if (!ok) {
                std::fprintf(stderr, "mesh_bench: %s did not load\n", file.c_str());
                return 1;
            }
        }
        // Once more, untimed, for the memory the check takes while it runs and what it leaves.
        LoadedFile loaded;
        runLoadRoadOnFile(&loaded, path.c_str(), nullptr, nullptr);
        // The sampler's own thread (its stack, committed whole under Wine) is the bench's: the
        // count starts once it runs.
        std::atomic<bool> running{true};
        std::atomic<u64> peak{0};
        std::thread sampler([&] {
            while (running.load()) {
                u64 now = privateBytes();
                if (now > peak.load())
                    peak.store(now);
            }
        });
        while (peak.load() == 0)
            std::this_thread::yield();
        u64 before = privateBytes();
        checkMesh(&loaded.vertices, loaded.result.provenance.metresPerUnit, nullptr, &check);
        u64 after = privateBytes();
        running.store(false);
        sampler.join();
        // Stopped at a tenth, three tenths ... of its time: how long it takes to ask the sink
        // after that, and to end.
        double askLatency = 0, stopLatency = 0;
        for (int tenth = 1; tenth < 10; tenth += 2) {
            MeshCheck stopped;
            StopClock clock = {Clock::now(), median(checks) * tenth / 10, 0};
            ReportSink sink = {&clock, onStopClock};
            if (!checkMesh(&loaded.vertices, loaded.result.provenance.metresPerUnit, &sink, &stopped)) {
                stopLatency = std::max(stopLatency, since(clock.start) - clock.deadline);
                askLatency = std::max(askLatency, clock.told - clock.deadline);
            }
        }
        releaseLoadedFile(&loaded);
        double triangles = double(check.triangles ? check.triangles : 1);
        const char* name = std::strrchr(file.c_str(), '\\') ? std::strrchr(file.c_str(), '\\') + 1 : file.c_str();
        std::printf("%s\t%llu tri\tload %.1f ms\tcheck %.1f ms\tcheck/load %.2f\tcheck memory %.1f B/tri\tafter %.2f B/tri\t"
                    "vertices %llu\tedges %llu\tdegenerate %llu\topen %llu\tnon-manifold %llu\tmisoriented %llu\tshells %llu\t"
                    "area %.9g m2\tvolume %.9g m3\t%s\n",
                    name, (unsigned long long)check.triangles, median(loads), median(checks), median(checks) / median(loads),
                    double(peak.load() - before) / triangles, (double(after) - double(before)) / triangles,
                    (unsigned long long)check.vertices, (unsigned long long)check.edges,
                    (unsigned long long)check.degenerateTriangles, (unsigned long long)check.openEdges,
                    (unsigned long long)check.nonManifoldEdges, (unsigned long long)check.misorientedEdges,
                    (unsigned long long)check.shells, check.area, check.signedVolume,
                    check.closed ? (check.insideOut ? "closed, inside out" : "closed") : "not closed");
        for (int i = 0; i < kSteps && !steps[i].empty(); ++i)
            std::printf("  %s %.1f ms", kStepNames[i], median(steps[i]));
        std::printf("  stopped: asks within %.1f ms, ends within %.1f ms\n", askLatency, stopLatency);
        std::fflush(stdout);
    }
    return 0;
}
