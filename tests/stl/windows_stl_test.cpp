#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "stl/heap.h"
#include "stl/map_file.h"
#include "support/sinks.h"
#include "support/system_text_win.h"

namespace {

// A folder of its own under the system's temporary folder, removed with its files.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + L"vantorel-stl-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const std::wstring& file : files_)
            DeleteFileW(file.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    std::wstring write(const wchar_t* name, const std::string& bytes) {
        std::wstring file = path_ + L"\\" + name;
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(handle);
        files_.push_back(file);
        return file;
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

}  // namespace

TEST(MapFile, MapsTheWholeFileReadOnly) {
    TempFolder folder;
    std::wstring file = folder.write(L"model.stl", "solid cube\nendsolid cube\n");
    const u8* view = nullptr;
    u64 size = 0;
    RecordingSink recorder;
    ASSERT_TRUE(mapFile(&view, &size, file.c_str(), &recorder.sink));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(size, 25u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), 25), "solid cube\nendsolid cube\n");
    EXPECT_TRUE(recorder.reports.empty());
    unmapFile(view);
    EXPECT_TRUE(DeleteFileW(file.c_str())) << "no handle is left open";
}

TEST(MapFile, EmptyFileIsSuccessWithNoView) {
    TempFolder folder;
    std::wstring file = folder.write(L"empty.stl", "");
    const u8* view = reinterpret_cast<const u8*>(1);
    u64 size = 99;
    RecordingSink recorder;
    EXPECT_TRUE(mapFile(&view, &size, file.c_str(), &recorder.sink));
    EXPECT_EQ(view, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(recorder.reports.empty());
}

// A missing path, a folder and a file another program writes to: each fails with the
// system's own text for its error, and leaves the outputs as they were.
TEST(MapFile, FailuresReportTheSystemsText) {
    TempFolder folder;
    std::wstring busy = folder.write(L"busy.stl", "solid x\n");
    HANDLE writer = CreateFileW(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);

    const std::pair<std::wstring, DWORD> cases[] = {
        {folder.path() + L"\\missing.stl", ERROR_FILE_NOT_FOUND},
        {folder.path() + L"\\no-such-folder\\x.stl", ERROR_PATH_NOT_FOUND},
        {busy, ERROR_SHARING_VIOLATION},
    };
    for (const auto& [path, error] : cases) {
        const u8* view = reinterpret_cast<const u8*>(1);
        u64 size = 99;
        TranslatingSink chain;
        EXPECT_FALSE(mapFile(&view, &size, path.c_str(), &chain.sink));
        EXPECT_EQ(view, reinterpret_cast<const u8*>(1));
        EXPECT_EQ(size, 99u);
        ASSERT_EQ(chain.recorder.lines().size(), 1u);
        EXPECT_EQ(chain.recorder.lines()[0], systemText(error));
        EXPECT_TRUE(chain.recorder.reports[0].hadTrace);
        EXPECT_FALSE(mapFile(&view, &size, path.c_str(), nullptr)) << "no sink: nothing reported, no crash";
    }
    CloseHandle(writer);

    const u8* view = nullptr;
    u64 size = 0;
    RecordingSink recorder;
    EXPECT_FALSE(mapFile(&view, &size, folder.path().c_str(), &recorder.sink)) << "a folder is not a file";
    EXPECT_EQ(recorder.codes(), std::vector<ResultCode>{kSystemError});
}

// Between detection and parsing another program may write the file (its handle is closed
// once the view exists), but it cannot cut the mapped bytes away: truncation is refused
// while a view exists, and growth does not reach the view. The reader sees at most other
// bytes in the same range, which it handles like any input.
TEST(MapFile, AMappedFileCannotShrinkUnderTheReader) {
    TempFolder folder;
    std::wstring file = folder.write(L"steady.stl", "solid steady\nendsolid steady\n");
    const u8* view = nullptr;
    u64 size = 0;
    ASSERT_TRUE(mapFile(&view, &size, file.c_str(), nullptr));
    HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    SetFilePointer(writer, 0, nullptr, FILE_BEGIN);
    EXPECT_FALSE(SetEndOfFile(writer)) << "truncating a mapped file is refused";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_USER_MAPPED_FILE));
    SetFilePointer(writer, 4096, nullptr, FILE_BEGIN);
    SetEndOfFile(writer);
    CloseHandle(writer);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), 12), "solid steady");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(view) + size - 7, 7), "steady\n");
    unmapFile(view);
}

TEST(MapFile, OtherReadersMayShare) {
    TempFolder folder;
    std::wstring file = folder.write(L"shared.stl", "abc");
    HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const u8* view = nullptr;
    u64 size = 0;
    EXPECT_TRUE(mapFile(&view, &size, file.c_str(), nullptr));
    unmapFile(view);
    CloseHandle(reader);
}

TEST(Heap, AnExhaustedHeapReportsOutOfMemory) {
    HANDLE small = HeapCreate(0, 0, 64 * 1024);  // not growable
    ASSERT_NE(small, nullptr);
    RecordingSink recorder;
    EXPECT_EQ(allocateArray(small, 1024, 1024, &recorder.sink), nullptr);
    EXPECT_EQ(recorder.codes(), std::vector<ResultCode>{kOutOfMemory});
    HeapDestroy(small);
}
