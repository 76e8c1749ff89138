// Load jobs on the system thread pool with a real 3D view: an empty file, and a job whose
// completion no window receives. The outcomes and the messages of every fixture, and the
// memory of superseded loads, are the end-to-end and the stress tests' to check through the
// whole viewer.
#include "support/view_harness_win.h"

// An empty file, mapped without a view, fails without a message.
TEST(LoadJob, EmptyFileFailsWithoutAMessage) {
    ViewHarness harness;
    LoadJob* empty = harness.load(harness.files.write(L"empty.stl"));
    EXPECT_EQ(empty->status, kJobFailed);
    EXPECT_EQ(empty->messages.bytes, 0u);
}

// A completion that no window will receive: the job releases itself instead of leaving its
// heap (which lives while it parses) and its mapped file behind.
TEST(LoadJob, CompletionWithoutAWindowReleasesTheJob) {
    ViewHarness harness;
    harness.load(fixture(L"cube_binary.stl"));
    std::wstring large = writeLarge(harness.files, L"unposted.stl", true, 8);
    DWORD heapsBefore = GetProcessHeaps(0, nullptr), handlesBefore = 0, handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    ASSERT_TRUE(queueLoadJob(createLoadJob(large.c_str(), harness.view, gone, nullptr)));
    ASSERT_TRUE(waitFor([&] { return GetProcessHeaps(0, nullptr) > heapsBefore; }, 5000, 1)) << "the job never started";
    EXPECT_TRUE(waitFor([&] { return GetProcessHeaps(0, nullptr) <= heapsBefore; }, 20000, 5));
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 2);
}
