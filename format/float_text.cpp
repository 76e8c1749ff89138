#include "format/float_text.h"

#include "format/digits.h"
#include "stl/number_scanner.h"

namespace {

char* writeDigits(char* out, const char* digits, u32 count) {
    __builtin_memcpy(out, digits, count);
    return out + count;
}

// Whether the digits read back as `value` the way the scanner reads them: an integer
// mantissa times a power of ten in double, rounded to float.
bool readsBack(const DecimalDigits& d, f32 value) {
    u64 mantissa = 0;
    for (u32 i = 0; i < d.count; ++i)
        mantissa = mantissa * 10 + u64(d.digits[i] - '0');
    f32 read = f32(f64(mantissa) * powerOfTen(d.decpt - i32(d.count)));
    return read == value || read == -value;
}

}  // namespace

u32 formatShortestFloat(f32 value, char* out) {
    char* start = out;
    DecimalDigits d;
    // Fewest digits first; nine always read back, their spacing being below half a float's.
    for (u32 count = 1; count <= 9; ++count) {
        generateDigits(f64(value), count, &d);
        if (d.decpt == 9999 || readsBack(d, value))
            break;
    }
    if (d.negative && value == value)
        *out++ = '-';
    if (d.decpt == 9999) {
        const char* text = value != value ? "nan" : "inf";
        out = writeDigits(out, text, 3);
    } else if (d.digits[0] == '0') {
        *out++ = '0';
    } else if (d.decpt > 9 || d.decpt < -5) {
        *out++ = d.digits[0];
        if (d.count > 1) {
            *out++ = '.';
            out = writeDigits(out, d.digits + 1, d.count - 1);
        }
        i32 exponent = d.decpt - 1;
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        out = writeDecimal(out, u64(exponent < 0 ? -exponent : exponent));
    } else if (d.decpt <= 0) {
        *out++ = '0';
        *out++ = '.';
        for (i32 i = d.decpt; i < 0; ++i)
            *out++ = '0';
        out = writeDigits(out, d.digits, d.count);
    } else if (u32(d.decpt) < d.count) {
        out = writeDigits(out, d.digits, u32(d.decpt));
        *out++ = '.';
        out = writeDigits(out, d.digits + d.decpt, d.count - u32(d.decpt));
    } else {
        out = writeDigits(out, d.digits, d.count);
        for (u32 i = d.count; i < u32(d.decpt); ++i)
            *out++ = '0';
    }
    *out = 0;
    return u32(out - start);
}
