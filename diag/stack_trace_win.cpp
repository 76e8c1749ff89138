// Windows side of the stack trace: one capture, then two module queries per frame, into
// the caller's buffer. No heap and no symbols, so it works while reporting out of memory.
#include <windows.h>

#include "diag/report.h"
#include "diag/stack_trace_win.h"

Utf16* writeTraceLines(Utf16* out, void* const* frames, u32 frameCount) {
    for (u32 i = 0; i < frameCount; ++i) {
        HMODULE module = nullptr;
        DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
        if (!GetModuleHandleExW(flags, static_cast<LPCWSTR>(frames[i]), &module)) {
            out = writeUnknownFrameLine(out);
            continue;
        }
        wchar_t path[MAX_PATH];
        DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
        if (length > MAX_PATH)
            length = MAX_PATH;
        DWORD nameStart = length;
        while (nameStart > 0 && path[nameStart - 1] != L'\\' && path[nameStart - 1] != L'/')
            --nameStart;
        u32 offset = static_cast<u32>(reinterpret_cast<uptr>(frames[i]) - reinterpret_cast<uptr>(module));
        out = writeFrameLine(out, reinterpret_cast<const Utf16*>(path + nameStart), length - nameStart, offset);
    }
    return out;
}

void captureStackTrace(Utf16* out) {
    void* frames[kTraceFrames];
    USHORT count = RtlCaptureStackBackTrace(1, kTraceFrames, frames, nullptr);
    *writeTraceLines(out, frames, count) = 0;
}
