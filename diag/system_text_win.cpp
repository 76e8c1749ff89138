#include <windows.h>

#include "diag/system_text.h"

u32 systemErrorText(u32 error, Utf16* out, u32 capacity) {
    // MAX_WIDTH_MASK drops the message's own line breaks: a report is one line.
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    return FormatMessageW(flags, nullptr, error, 0, reinterpret_cast<wchar_t*>(out), capacity, nullptr);
}

u32 convertCodePage(u32 codePage, const u8* bytes, u32 length, Utf16* out, u32 capacity) {
    if (length == 0 || capacity == 0)
        return 0;
    const int intMax = 0x7FFFFFFF;
    int sourceLength = length > u32(intMax) ? intMax : int(length);
    int outCapacity = capacity > u32(intMax) ? intMax : int(capacity);
    int written = MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(bytes), sourceLength,
                                      reinterpret_cast<wchar_t*>(out), outCapacity);
    return written > 0 ? u32(written) : 0;
}
