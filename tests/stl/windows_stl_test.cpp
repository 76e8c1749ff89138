#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "stl/heap.h"
#include "stl/map_file.h"
#include "support/sinks.h"
#include "support/system_text_win.h"
#include "support/temp_folder_win.h"

// The whole file read-only, other readers welcome, no handle left open. (An empty file, a
// success without a view, and a missing one are the load's and the console tool's cases.)
TEST(MapFile, MapsTheWholeFileReadOnly) {
    TempFolder folder(L"vantorel-map-");
    std::wstring file = folder.write(L"model.stl", "solid cube\nendsolid cube\n");
    HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const u8* view = nullptr;
    u64 size = 0;
    ASSERT_TRUE(mapFile(&view, &size, file.c_str(), nullptr));
    CloseHandle(reader);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), size), "solid cube\nendsolid cube\n");
    unmapFile(view);
    EXPECT_TRUE(DeleteFileW(file.c_str())) << "no handle is left open";
}

// A folder and a file another program writes to: each fails with the system's own text for
// its error, and leaves the outputs as they were.
TEST(MapFile, FailuresReportTheSystemsText) {
    TempFolder folder(L"vantorel-map-");
    std::wstring busy = folder.write(L"busy.stl", "solid x\n");
    HANDLE writer = CreateFileW(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const std::pair<std::wstring, DWORD> cases[] = {{busy, ERROR_SHARING_VIOLATION}, {folder.path(), ERROR_ACCESS_DENIED}};
    for (const auto& [path, error] : cases) {
        const u8* view = reinterpret_cast<const u8*>(1);
        u64 size = 99;
        TranslatingSink chain;
        EXPECT_FALSE(mapFile(&view, &size, path.c_str(), &chain.sink));
        EXPECT_EQ(view, reinterpret_cast<const u8*>(1));
        EXPECT_EQ(size, 99u);
        EXPECT_EQ(chain.recorder.lines(), std::vector<std::u16string>{systemText(error)});
    }
    CloseHandle(writer);
}

TEST(Heap, AnExhaustedHeapReportsOutOfMemory) {
    HANDLE small = HeapCreate(0, 0, 64 * 1024);  // not growable
    ASSERT_NE(small, nullptr);
    RecordingSink recorder;
    EXPECT_EQ(allocateArray(small, 1024, 1024, &recorder.sink), nullptr);
    EXPECT_EQ(recorder.codes(), std::vector<ResultCode>{kOutOfMemory});
    HeapDestroy(small);
}
