// Text conversion for the native build through glibc's iconv. Windows' ANSI page on the
// machines this program meets is 1252, so code page 0 converts as 1252 here.
#include <iconv.h>

#include "diag/system_text.h"
#include "stl/records.h"

u32 systemErrorText(u32, Utf16*, u32) {
    return 0;
}

static const char* iconvName(u32 codePage) {
    switch (codePage) {
    case kCodePageUtf8: return "UTF-8";
    case kCodePageCyrillic: return "CP1251";
    case kCodePageUsAscii: return "ASCII";
    default: return "CP1252";
    }
}

u32 convertCodePage(u32 codePage, const u8* bytes, u32 length, Utf16* out, u32 capacity) {
    iconv_t converter = iconv_open("UTF-16LE", iconvName(codePage));
    if (converter == reinterpret_cast<iconv_t>(-1))
        return 0;
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    size_t inLeft = length;
    char* to = reinterpret_cast<char*>(out);
    size_t outLeft = size_t(capacity) * 2;
    while (inLeft > 0 && outLeft >= 2) {
        if (iconv(converter, &in, &inLeft, &to, &outLeft) != size_t(-1))
            break;
        if (outLeft < 2)
            break;
        // Like MultiByteToWideChar without MB_ERR_INVALID_CHARS: a byte that does not
        // convert becomes U+FFFD and the conversion goes on after it.
        Utf16 replacement = 0xFFFD;
        __builtin_memcpy(to, &replacement, 2);
        to += 2;
        outLeft -= 2;
        ++in;
        --inLeft;
    }
    iconv_close(converter);
    return u32((to - reinterpret_cast<char*>(out)) / 2);
}
