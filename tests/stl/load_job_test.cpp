// Load jobs on the system thread pool with a real 3D view: a job whose completion no window
// receives, and the file left free once loaded. The outcomes and the messages of every
// fixture (an empty file too: the console tool's tests), and the memory of superseded loads,
// are the end-to-end and the stress tests' to check through the whole viewer.
#include "stl/map_file.h"
#include "support/view_harness_win.h"

#include <psapi.h>

namespace {

// The views of this process on the file at `path`, found as the system names them: every
// MEM_MAPPED region asked for its file's name (a device path, compared by its tail).
int viewsOf(const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L'\\'));
    int views = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const u8* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const u8*>(region.BaseAddress) + region.RegionSize) {
        wchar_t mapped[MAX_PATH * 2];
        DWORD length = region.Type == MEM_MAPPED && region.State == MEM_COMMIT
                           ? GetMappedFileNameW(GetCurrentProcess(), region.BaseAddress, mapped, MAX_PATH * 2)
                           : 0;
        views += length >= name.size() && std::wstring(mapped + length - name.size(), mapped + length) == name &&
                 region.BaseAddress == region.AllocationBase;
    }
    return views;
}

}  // namespace

// A completion that no window will receive: the job releases itself instead of leaving its
// heap (which lives while it parses) behind.
TEST(LoadJob, CompletionWithoutAWindowReleasesTheJob) {
    ViewHarness harness;
    harness.show(fixture(L"cube_binary.stl"));
    // Large enough that its parse outlasts the moments a loaded machine keeps this thread off a core.
    std::wstring large = writeLarge(harness.files, L"unposted.stl", true, 48);
    DWORD heapsBefore = GetProcessHeaps(0, nullptr), handlesBefore = 0, handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    ASSERT_TRUE(queueLoadJob(createViewLoadJob(large.c_str(), harness.view, gone, nullptr)));
    ASSERT_TRUE(waitFor([&] { return GetProcessHeaps(0, nullptr) > heapsBefore; }, 20000, 1)) << "the job never started";
    EXPECT_TRUE(waitFor([&] { return GetProcessHeaps(0, nullptr) <= heapsBefore; }, 60000, 5));
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 2);
}

// Once a load is finished and shown, no view of its file remains: another program may cut it
// short or write it again (Windows refuses both while a view is mapped, with
// ERROR_USER_MAPPED_FILE). The walk is checked first on a view this test maps itself.
TEST(LoadJob, NoViewOfTheFileRemainsOnceLoaded) {
    ViewHarness harness;
    for (bool binary : {true, false}) {
        std::wstring path = writeLarge(harness.files, binary ? L"kept_binary.stl" : L"kept_ascii.stl", !binary, 1);
        const u8* mapped = nullptr;
        u64 size = 0;
        ASSERT_TRUE(mapFile(&mapped, &size, path.c_str(), nullptr));
        ASSERT_EQ(viewsOf(path), 1) << "the walk finds a view it should";
        unmapFile(mapped);
        LoadJob* job = harness.show(path);
        ASSERT_EQ(job->status, kJobLoaded) << binary;
        EXPECT_EQ(viewsOf(path), 0) << binary;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_TRUE(SetEndOfFile(file)) << binary << ": error " << GetLastError();
        CloseHandle(file);
    }
}
