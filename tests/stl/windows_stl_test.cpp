#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "stl/heap.h"
#include "stl/map_file.h"
#include "support/sinks.h"
#include "support/system_text_win.h"
#include "support/temp_folder_win.h"

// The whole file read-only, other readers welcome; an empty file is success without a view.
TEST(MapFile, MapsTheWholeFileReadOnly) {
    TempFolder folder(L"vantorel-map-");
    std::wstring file = folder.write(L"model.stl", "solid cube\nendsolid cube\n");
    HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const u8* view = nullptr;
    u64 size = 0;
    RecordingSink recorder;
    ASSERT_TRUE(mapFile(&view, &size, file.c_str(), &recorder.sink));
    CloseHandle(reader);
    ASSERT_EQ(size, 25u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), 25), "solid cube\nendsolid cube\n");
    unmapFile(view);
    EXPECT_TRUE(DeleteFileW(file.c_str())) << "no handle is left open";

    std::wstring empty = folder.write(L"empty.stl");
    view = reinterpret_cast<const u8*>(1);
    EXPECT_TRUE(mapFile(&view, &size, empty.c_str(), &recorder.sink));
    EXPECT_EQ(view, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(recorder.reports.empty());
}

// A missing path, a folder and a file another program writes to: each fails with the
// system's own text for its error, and leaves the outputs as they were.
TEST(MapFile, FailuresReportTheSystemsText) {
    TempFolder folder(L"vantorel-map-");
    std::wstring busy = folder.write(L"busy.stl", "solid x\n");
    HANDLE writer = CreateFileW(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const std::pair<std::wstring, DWORD> cases[] = {
        {folder.path() + L"\\missing.stl", ERROR_FILE_NOT_FOUND},
        {folder.path() + L"\\no-such-folder\\x.stl", ERROR_PATH_NOT_FOUND},
        {busy, ERROR_SHARING_VIOLATION},
        {folder.path(), ERROR_ACCESS_DENIED},  // a folder is not a file
    };
    for (const auto& [path, error] : cases) {
        const u8* view = reinterpret_cast<const u8*>(1);
        u64 size = 99;
        TranslatingSink chain;
        EXPECT_FALSE(mapFile(&view, &size, path.c_str(), &chain.sink));
        EXPECT_EQ(view, reinterpret_cast<const u8*>(1));
        EXPECT_EQ(size, 99u);
        ASSERT_EQ(chain.recorder.reports.size(), 1u);
        EXPECT_EQ(chain.recorder.lines()[0], systemText(error));
        EXPECT_TRUE(chain.recorder.reports[0].hadTrace);
        EXPECT_FALSE(mapFile(&view, &size, path.c_str(), nullptr)) << "no sink: nothing reported, no crash";
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
