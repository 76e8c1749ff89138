// Load jobs on the system thread pool with a real 3D view: what a failed job keeps,
// cancellation, and what superseded and orphaned jobs leave behind. The outcomes and the
// messages of every fixture, through the whole viewer, are the end-to-end test's.
#include "support/view_harness_win.h"

#include <psapi.h>

namespace {

struct ProcessCounters {
    u64 privateBytes;
    DWORD handles, heaps;
};

ProcessCounters processCounters() {
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    HANDLE heaps[256];
    return {memory.PrivateUsage, handles, GetProcessHeaps(256, heaps)};
}

}  // namespace

// A file that fails keeps nothing of its load but the record; an empty file, mapped without
// a view, fails without a message.
TEST(LoadJob, FailedAndEmptyFilesKeepOnlyTheRecord) {
    ViewHarness harness;
    LoadJob* broken = harness.load(fixture(L"broken.stl"));
    EXPECT_EQ(broken->status, kJobFailed);
    EXPECT_EQ(broken->view, nullptr);
    EXPECT_EQ(broken->heap, nullptr);
    LoadJob* empty = harness.load(harness.files.write(L"empty.stl"));
    EXPECT_EQ(empty->status, kJobFailed);
    EXPECT_EQ(empty->messages.bytes, 0u);
}

// A superseded job stops at its next progress report (or finishes); releasing it, and a
// long run of superseded jobs, leaves the process as it was.
TEST(LoadJob, CancelledAndSupersededJobsLeaveNothingBehind) {
    ViewHarness harness;
    std::wstring small = fixture(L"cube_binary.stl"), large = writeLarge(harness.files, L"large.stl", true, 15);
    harness.load(small);  // the device exists from here on
    ProcessCounters before = processCounters();

    LoadJob* big = harness.start(large);
    ASSERT_TRUE(waitFor([&] { return takeJobMessages(big, [](void*, const Utf16*, u64) {}, nullptr) > 0 || harness.done(big); }));
    big->cancelRequested = 1;
    ASSERT_TRUE(waitFor([&] { return harness.done(big); }));
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
    ASSERT_TRUE(waitFor([&] { return harness.running == 0; }, 120000));
    for (LoadJob* job : harness.finished)
        releaseLoadJob(job);
    harness.finished.clear();

    ProcessCounters after = processCounters();
    EXPECT_LT(after.privateBytes, before.privateBytes + (4 << 20));
    EXPECT_LE(after.handles, before.handles + 4);
    EXPECT_LE(after.heaps, before.heaps);
}

// A completion that no window will receive: the job releases itself instead of leaving its
// heap and its mapped file behind. Its own heap lives while it parses.
TEST(LoadJob, CompletionWithoutAWindowReleasesTheJob) {
    ViewHarness harness;
    harness.load(fixture(L"cube_binary.stl"));
    std::wstring large = writeLarge(harness.files, L"unposted.stl", true, 8);
    ProcessCounters before = processCounters();
    HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    ASSERT_TRUE(queueLoadJob(createLoadJob(large.c_str(), harness.view, gone, nullptr)));
    ASSERT_TRUE(waitFor([&] { return processCounters().heaps > before.heaps; }, 5000, 1)) << "the job never started";
    EXPECT_TRUE(waitFor([&] { return processCounters().heaps <= before.heaps; }, 20000, 5));
    EXPECT_LE(processCounters().handles, before.handles + 2);
}
