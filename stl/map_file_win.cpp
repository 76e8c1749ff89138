#include <windows.h>

#include "stl/load_road.h"
#include "stl/map_file.h"

// Touching a view whose file has gone away (a network share dropping, a removable disk
// pulled) raises EXCEPTION_IN_PAGE_ERROR on the reading thread; the program does not map
// files for writing, so that is the only hazard the view brings.
bool mapFile(const u8** bytes, u64* size, const wchar_t* path, const ReportSink* sink) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (sink)
            report(sink, kSystemError, GetLastError());
        return false;
    }
    LARGE_INTEGER fileSize = {};
    const u8* mapped = nullptr;
    if (!GetFileSizeEx(file, &fileSize)) {
        if (sink)
            report(sink, kSystemError, GetLastError());
        CloseHandle(file);
        *bytes = nullptr;
        *size = 0;
        return false;
    }
    if (fileSize.QuadPart != 0) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping) {
            mapped = static_cast<const u8*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
            if (!mapped && sink)
                report(sink, kSystemError, GetLastError());
            CloseHandle(mapping);  // the view keeps the mapping alive
        } else if (sink) {
            report(sink, kSystemError, GetLastError());
        }
    }
    *bytes = mapped;
    *size = static_cast<u64>(fileSize.QuadPart);
    CloseHandle(file);
    return fileSize.QuadPart == 0 || mapped != nullptr;
}

void unmapFile(const u8* bytes) {
    if (bytes)
        UnmapViewOfFile(bytes);
}

bool runLoadRoadOnFile(LoadedFile* out, const wchar_t* path, const ReportSink* sink, const LoadRoadHooks* hooks) {
    const u8* mapped = nullptr;
    u64 size = 0;
    if (!mapFile(&mapped, &size, path, sink)) {
        unmapFile(mapped);
        *out = LoadedFile{};
        out->fileSize = size;
        return false;
    }
    bool loaded = runLoadRoad(out, mapped, size, sink, hooks);
    unmapFile(mapped);  // the load keeps nothing of the file
    return loaded;
}
