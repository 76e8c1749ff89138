#include <windows.h>

#include "format/digits.h"
#include "format/length_text.h"

static Utf16* appendAscii(Utf16* out, const char* text) {
    for (; *text; ++text)
        *out++ = Utf16(*text);
    return out;
}

Utf16* writeLocaleNumber(f64 value, Utf16* out) {
    char positional[400];
    char* end = writePositional(value, positional);
    *end = 0;
    wchar_t wide[400];
    u32 length = u32(end - positional);
    for (u32 i = 0; i <= length; ++i)  // the terminator too
        wide[i] = wchar_t(u8(positional[i]));

    wchar_t* text = reinterpret_cast<wchar_t*>(out);
    // Infinity and NaN have no positional form for the locale to format; they are shown as
    // they are ("Infinity km"), so that a model with such coordinates says so. When the
    // locale's formatting fails for any other reason the plain text stands instead.
    bool finite = value - value == 0.0;
    int written = finite ? GetNumberFormatW(LOCALE_USER_DEFAULT, 0, wide, nullptr, text, 400) : 0;
    if (written > 0)
        return out + written - 1;  // the count includes the terminator
    __builtin_memcpy(out, wide, length * sizeof(Utf16));
    return out + length;
}

Utf16* writeLengthText(f32 metres, Utf16* out) {
    const char* unit;
    out = writeLocaleNumber(chooseLengthUnit(metres, &unit), out);
    *out++ = 0x2009;  // THIN SPACE
    return appendAscii(out, unit);
}

Utf16* writeDimensionsText(const f32 size[3], bool yUp, Utf16* out) {
    f32 height = yUp ? size[1] : size[2];
    f32 depth = yUp ? size[2] : size[1];
    out = writeLengthText(size[0], out);
    out = appendAscii(out, " x ");
    out = writeLengthText(depth, out);
    out = appendAscii(out, "; ");
    out = writeLengthText(height, out);
    return appendAscii(out, " tall");
}
