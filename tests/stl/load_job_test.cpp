// Load jobs on the system thread pool with a real 3D view: an empty file, a job whose
// completion no window receives, and a file that goes away under the vertex preparation. The outcomes and the messages of every fixture, and the
// memory of superseded loads, are the end-to-end and the stress tests' to check through the
// whole viewer.
#include "render/mesh.h"
#include "stl/binary_reader.h"
#include "support/system_text_win.h"
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

// A large binary file's vertices are written by two threads straight from the mapped file:
// a read that faults in either half ends the preparation with the system's text, once both
// threads are done with the heap.
TEST(LoadJob, FileGoneUnderEitherHalfOfTheVertexPreparation) {
    std::vector<u8> bytes = BinaryStlBuilder().block(200000).bytes();
    for (double where : {0.25, 0.75}) {
        u8* file = static_cast<u8*>(VirtualAlloc(nullptr, bytes.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        std::copy(bytes.begin(), bytes.end(), file);
        LoadJob* job = createLoadJob(L"gone.stl", nullptr, nullptr, nullptr);
        job->result.format = kFormatBinary;
        job->heap = createLoadHeap();
        ASSERT_TRUE(readBinaryStl(&job->result.mesh, file, bytes.size(), job->heap, nullptr));
        DWORD old;
        VirtualProtect(file + (size_t(bytes.size() * where) & ~size_t(4095)), 4096, PAGE_NOACCESS, &old);
        EXPECT_FALSE(readMappedFile(job, file, bytes.size(), [](void* context) {
            LoadJob* j = static_cast<LoadJob*>(context);
            PreparedVertices prepared;
            return prepareVertices(&j->result, j->heap, &j->translator, &prepared);
        }, job)) << where;
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(job->messages.text), job->messages.bytes / 2),
                  systemText(ERROR_FILE_INVALID) + u"\r\n") << where;
        destroyLoadHeap(job->heap);
        freeLoadJobRecord(job);
        VirtualFree(file, 0, MEM_RELEASE);
    }
}
