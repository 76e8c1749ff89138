#include <windows.h>

#include "stl/detect.h"

StlProbe probeStlFile(const wchar_t* path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return kOtherFile;
    // The sharing the load itself asks for, so that a file the load could not open stops
    // the step and shows why.
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kOtherFile : kUnreadableFile;
    }
    // Detection reads at most the first 256 bytes and four triangle records (284 bytes).
    u8 head[512];
    LARGE_INTEGER size = {};
    DWORD got = 0;
    bool read = GetFileSizeEx(file, &size) && ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    if (!read)
        return kUnreadableFile;
    // Shorter than its size says: it is changing under us, and its load will tell.
    if (got < sizeof head && got < u64(size.QuadPart))
        return kUnreadableFile;
    return detectStlFormat(head, u64(size.QuadPart)) != kFormatUnknown ? kStlFile : kOtherFile;
}
