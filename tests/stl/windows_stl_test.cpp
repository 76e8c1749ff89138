#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "stl/heap.h"
#include "stl/map_file.h"
#include "support/sinks.h"
#include "support/system_text_win.h"
#include "support/temp_folder_win.h"

// The whole file read-only, other readers welcome, no handle left open; but a file another
// program writes to is not read: that failure has the system's own text and leaves the
// outputs as they were. (An empty file, a success without a view, and a missing one, which
// fails as the busy one does, are the load's and the console tool's cases.)
TEST(MapFile, MapsWholeFilesButNoneBeingWritten) {
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

    std::wstring busy = folder.write(L"busy.stl", "solid x\n");
    HANDLE writer = CreateFileW(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    view = reinterpret_cast<const u8*>(1);
    TranslatingSink chain;
    EXPECT_FALSE(mapFile(&view, &size, busy.c_str(), &chain.sink));
    EXPECT_EQ(std::make_pair(view, size), std::make_pair(reinterpret_cast<const u8*>(1), u64(25)));
    EXPECT_EQ(chain.recorder.lines(), std::vector<std::u16string>{systemText(ERROR_SHARING_VIOLATION)});
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
