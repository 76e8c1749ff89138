#include "app/file_watch_win.h"

#include "stl/heap.h"

namespace {

enum : u32 { kChangeBytes = 16384 };

struct WatchRecord {
    u8 changes[kChangeBytes];  // FILE_NOTIFY_INFORMATION entries: DWORD-aligned, as the heap gives
    HANDLE folder;
    HANDLE ioDone;
    HANDLE stop;
    HWND window;
    UINT message;
    WPARAM tag;
    u32 nameUnits;
    wchar_t name[1];  // nameUnits long, in the same block
};

bool namesFile(const WatchRecord* watch, DWORD bytes) {
    for (DWORD offset = 0; offset + sizeof(FILE_NOTIFY_INFORMATION) <= bytes;) {
        const FILE_NOTIFY_INFORMATION* entry = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(watch->changes + offset);
        if (CompareStringOrdinal(entry->FileName, int(entry->FileNameLength / 2), watch->name, int(watch->nameUnits), TRUE) ==
            CSTR_EQUAL)
            return true;
        if (entry->NextEntryOffset == 0)
            break;
        offset += entry->NextEntryOffset;
    }
    return false;
}

DWORD WINAPI watchFolder(void* context) {
    WatchRecord* watch = static_cast<WatchRecord*>(context);
    const DWORD filter = FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE;
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = watch->ioDone;
        ResetEvent(watch->ioDone);
        if (!ReadDirectoryChangesW(watch->folder, watch->changes, kChangeBytes, FALSE, filter, nullptr, &overlapped, nullptr))
            break;
        HANDLE waits[2] = {watch->stop, watch->ioDone};
        DWORD bytes = 0;
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            // The read must be over before its buffer and event go.
            CancelIoEx(watch->folder, &overlapped);
            GetOverlappedResult(watch->folder, &overlapped, &bytes, TRUE);
            break;
        }
        // A folder that went away ends the read with an error: the window is told, and finds
        // the file gone. A buffer that overflowed completes with zero bytes, its changes
        // discarded (learn.microsoft.com, ReadDirectoryChangesW): taken as a change.
        bool read = GetOverlappedResult(watch->folder, &overlapped, &bytes, FALSE) != FALSE;
        if (!read || bytes == 0 || namesFile(watch, bytes))
            PostMessageW(watch->window, watch->message, watch->tag, 0);
        if (!read)
            break;
    }
    CloseHandle(watch->folder);
    CloseHandle(watch->ioDone);
    CloseHandle(watch->stop);
    deallocate(watch);
    return 0;
}

}  // namespace

FileWatch* startFileWatch(const wchar_t* path, HWND window, UINT message, WPARAM tag) {
    wchar_t full[MAX_PATH * 4];
    wchar_t* name = nullptr;
    DWORD length = GetFullPathNameW(path, MAX_PATH * 4, full, &name);
    if (length == 0 || length >= MAX_PATH * 4 || !name || name == full)
        return nullptr;
    u32 nameUnits = 0;
    while (name[nameUnits])
        ++nameUnits;
    WatchRecord* watch = static_cast<WatchRecord*>(allocate(sizeof(WatchRecord) + nameUnits * sizeof(wchar_t)));
    if (!watch)
        return nullptr;
    for (u32 i = 0; i <= nameUnits; ++i)
        watch->name[i] = name[i];
    watch->nameUnits = nameUnits;
    watch->window = window;
    watch->message = message;
    watch->tag = tag;
    name[0] = 0;  // the folder, with its last separator
    watch->folder = CreateFileW(full, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    watch->ioDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watch->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;
    if (watch->folder != INVALID_HANDLE_VALUE && watch->ioDone && watch->stop)
        thread = CreateThread(nullptr, 64 * 1024, watchFolder, watch, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        if (watch->folder != INVALID_HANDLE_VALUE)
            CloseHandle(watch->folder);
        if (watch->ioDone)
            CloseHandle(watch->ioDone);
        if (watch->stop)
            CloseHandle(watch->stop);
        deallocate(watch);
        return nullptr;
    }
    CloseHandle(thread);
    return reinterpret_cast<FileWatch*>(watch);
}

void endFileWatch(FileWatch* watch) {
    SetEvent(reinterpret_cast<WatchRecord*>(watch)->stop);
}
