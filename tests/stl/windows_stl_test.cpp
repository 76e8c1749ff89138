#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "stl/heap.h"
#include "stl/map_file.h"
#include "support/sinks.h"
#include "support/temp_folder_win.h"

// The whole file read-only, other readers welcome, no handle left open. (A file another
// program holds, an empty one and a missing one are the viewer's and the console tool's
// cases.)
TEST(MapFile, MapsTheWholeFileAndLeavesNoHandleOpen) {
    TempFolder folder(L"vantorel-map-");
    std::wstring file = folder.write(L"model.stl", "solid cube\nendsolid cube\n");
    HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const u8* mapped = nullptr;
    u64 size = 0;
    ASSERT_TRUE(mapFile(&mapped, &size, file.c_str(), nullptr));
    CloseHandle(reader);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped), size), "solid cube\nendsolid cube\n");
    unmapFile(mapped);
    EXPECT_TRUE(DeleteFileW(file.c_str())) << "no handle is left open";
}

TEST(Heap, AnExhaustedHeapReportsOutOfMemory) {
    HANDLE small = HeapCreate(0, 0, 64 * 1024);  // not growable
    ASSERT_NE(small, nullptr);
    RecordingSink recorder;
    EXPECT_EQ(allocateArray(small, 1024, 1024, &recorder.sink), nullptr);
    EXPECT_EQ(recorder.codes(), std::vector<ResultCode>{kOutOfMemory});
    HeapDestroy(small);
}
