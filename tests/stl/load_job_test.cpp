// Load jobs on the system thread pool with a real 3D view: outcomes, messages, cancellation
// and what a run of superseded jobs leaves behind.
#include <gtest/gtest.h>

#include "stl/detect.h"
#include "stl/map_file.h"
#include "stl/provenance.h"
#include "support/system_text_win.h"
#include "support/view_harness_win.h"

namespace {

// The lines the console tool reports for a file: the same pipeline without a GPU.
std::vector<std::u16string> consoleLines(const std::wstring& path) {
    TranslatingSink chain;
    const u8* view = nullptr;
    u64 size = 0;
    LoadHeap heap = createLoadHeap();
    if (mapFile(&view, &size, path.c_str(), &chain.sink)) {
        LoadResult result = {};
        if (parseStl(&result, kFormatUnknown, view, view + size, heap, &chain.sink))
            applyLoadDefaults(&result.provenance, &chain.sink);
        unmapFile(view);
    }
    destroyLoadHeap(heap);
    return chain.recorder.lines();
}

std::vector<std::u16string> withoutGpuLines(std::vector<std::u16string> lines) {
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const std::u16string& l) { return l.rfind(u"D3D info:", 0) == 0; }),
                lines.end());
    return lines;
}

}  // namespace

TEST(LoadJob, FixturesEndAsTheConsoleToolReportsThem) {
    ViewHarness harness;
    for (const char* name : {"cube_ascii.stl", "cube_binary.stl", "two_solids.stl", "inches.stl", "fusion_y_up.stl",
                             "box_z_up.stl", "cafe_utf8.stl", "coloured_rgb.stl", "coloured_bgr.stl", "flat_onshape.stl",
                             "two_blocks.stl", "broken.stl"}) {
        std::wstring path = fixturePath(name);
        LoadJob* job = harness.load(path);
        ASSERT_TRUE(harness.done(job)) << name;
        EXPECT_EQ(withoutGpuLines(jobLines(job)), consoleLines(path)) << name;
        if (std::string(name) == "broken.stl") {
            EXPECT_EQ(job->status, kJobFailed);
            EXPECT_EQ(job->view, nullptr);
            continue;
        }
        ASSERT_EQ(job->status, kJobLoaded) << name;
        ASSERT_NE(job->gpuMesh, nullptr);
        EXPECT_EQ(job->fileSize, u64(GetCompressedFileSizeW(path.c_str(), nullptr)));
        for (u32 i = 0; i < job->result.mesh.solidCount; ++i)
            EXPECT_EQ(job->solidVisible[i], 1) << name << " solid " << i;
        EXPECT_NE(job->result.provenance.coordinateSpace, kSpaceUnknown);
    }
}

TEST(LoadJob, FailuresAndDefaults) {
    ViewHarness harness;
    LoadJob* missing = harness.load(fixturePath("no_such_file.stl"));
    EXPECT_EQ(missing->status, kJobFailed);
    EXPECT_EQ(jobLines(missing), std::vector<std::u16string>{systemText(ERROR_FILE_NOT_FOUND)});

    std::wstring empty = harness.file(L"empty.stl", "", 0);
    LoadJob* nothing = harness.load(empty);
    EXPECT_EQ(nothing->status, kJobFailed);
    EXPECT_TRUE(jobLines(nothing).empty());

    // A file that states neither its up axis nor its unit: the up axis is said first.
    LoadJob* job = harness.load(fixturePath("cube_ascii.stl"));
    ASSERT_EQ(job->status, kJobLoaded);
    std::vector<std::u16string> lines = jobLines(job);
    auto space = std::find(lines.begin(), lines.end(), u"STL warning: unknown coordinate space; assuming Z up");
    auto unit = std::find(lines.begin(), lines.end(), u"STL warning: unknown unit; assuming milimeters");
    ASSERT_NE(space, lines.end());
    ASSERT_NE(unit, lines.end());
    EXPECT_LT(space, unit);
    EXPECT_EQ(job->result.provenance.coordinateSpace, kSpaceZUp);
    EXPECT_EQ(job->result.provenance.metresPerUnit, 0.001f);
}

namespace {

// About `megabytes` of ASCII STL as CAD programs write it.
std::string largeAscii(size_t megabytes) {
    std::string facet =
        "  facet normal 0.000000e+00 0.000000e+00 1.000000e+00\n    outer loop\n"
        "      vertex 1.250000e+01 3.500000e+00 7.000000e+00\n      vertex 2.250000e+01 3.500000e+00 7.000000e+00\n"
        "      vertex 1.250000e+01 9.500000e+00 7.000000e+00\n    endloop\n  endfacet\n";
    std::string text = "solid large\n";
    text.reserve(megabytes << 20);
    while (text.size() < (megabytes << 20))
        text += facet;
    return text + "endsolid large\n";
}

}  // namespace

// A superseded job stops at its next progress report (or finishes); releasing it, and a
// long run of superseded jobs, leaves the process as it was.
TEST(LoadJob, CancelledAndSupersededJobsLeaveNothingBehind) {
    ViewHarness harness;
    std::wstring small = fixturePath("cube_binary.stl");
    harness.load(small);  // the device exists from here on
    ProcessCounters before = processCounters();

    std::string text = largeAscii(60);
    std::wstring large = harness.file(L"large.stl", text.data(), text.size());
    text.clear();
    text.shrink_to_fit();
    LoadJob* big = harness.start(large);
    ASSERT_TRUE(pumpUntil([&] { return takeJobMessages(big, [](void*, const Utf16*, u64) {}, nullptr) > 0 || harness.done(big); }));
    big->cancelRequested = 1;
    ASSERT_TRUE(pumpUntil([&] { return harness.done(big); }));
    EXPECT_TRUE(big->status == kJobCancelled || big->status == kJobLoaded) << big->status;
    if (big->status == kJobCancelled) {
        EXPECT_EQ(big->view, nullptr);
        EXPECT_EQ(big->heap, nullptr);
    }

    LoadJob* previous = nullptr;
    for (int i = 0; i < 200; ++i) {
        LoadJob* job = harness.start(i % 2 ? small : large);
        ASSERT_NE(job, nullptr);
        if (previous)
            previous->cancelRequested = 1;
        previous = job;
    }
    ASSERT_TRUE(pumpUntil([&] { return harness.running == 0; }, 120000));
    for (LoadJob* job : harness.finished)
        releaseLoadJob(job);
    harness.finished.clear();

    ProcessCounters after = processCounters();
    EXPECT_LT(after.privateBytes, before.privateBytes + (4 << 20));
    EXPECT_LE(after.handles, before.handles + 4);
    EXPECT_LE(after.heaps, before.heaps);
}

// A completion that no window will receive: the job releases itself instead of leaving its
// heap and its mapped file behind.
TEST(LoadJob, CompletionWithoutAWindowReleasesTheJob) {
    ViewHarness harness;
    harness.load(fixturePath("cube_binary.stl"));
    ProcessCounters before = processCounters();
    HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    std::string text = largeAscii(30);
    std::wstring large = harness.file(L"unposted.stl", text.data(), text.size());
    LoadJob* job = createLoadJob(large.c_str(), harness.view, gone, nullptr);
    ASSERT_TRUE(queueLoadJob(job));
    // The job's own heap lives while it parses; all is back once the job has let go.
    auto heaps = [] {
        HANDLE handles[256];
        return GetProcessHeaps(256, handles);
    };
    DWORD start = GetTickCount();
    while (heaps() == before.heaps && GetTickCount() - start < 5000)
        Sleep(1);
    ASSERT_GT(heaps(), before.heaps) << "the job never started";
    while (heaps() > before.heaps && GetTickCount() - start < 20000)
        Sleep(5);
    EXPECT_LE(heaps(), before.heaps);
    EXPECT_LE(processCounters().handles, before.handles + 2);
}
