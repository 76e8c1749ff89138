// Stack traces for the native (sanitizer and fuzzing) build, in the same line format as
// on Windows: glibc's backtrace for the frames, dladdr for the module of each.
#include <dlfcn.h>
#include <execinfo.h>

#include "diag/report.h"

void captureStackTrace(Utf16* out) {
    void* frames[kTraceFrames + 1];
    int count = backtrace(frames, kTraceFrames + 1);
    for (int i = 1; i < count; ++i) {  // frame 0 is this function
        Dl_info info;
        if (!dladdr(frames[i], &info) || !info.dli_fname) {
            out = writeUnknownFrameLine(out);
            continue;
        }
        const char* path = info.dli_fname;
        const char* name = path;
        for (const char* p = path; *p; ++p)
            if (*p == '/' || *p == '\\')
                name = p + 1;
        Utf16 wide[260];
        u32 length = u32(textLength(name, COUNT_OF(wide)));
        for (u32 k = 0; k < length; ++k)
            wide[k] = static_cast<u8>(name[k]);
        u32 offset = static_cast<u32>(reinterpret_cast<uptr>(frames[i]) - reinterpret_cast<uptr>(info.dli_fbase));
        out = writeFrameLine(out, wide, length, offset);
    }
    *out = 0;
}
