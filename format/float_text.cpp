#include "format/float_text.h"

#include "stl/number_scanner.h"

namespace {

char* writeUnsigned(char* out, u64 value) {
    char digits[20];
    u32 count = 0;
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value);
    while (count)
        *out++ = digits[--count];
    return out;
}

}  // namespace

u32 formatShortestFloat(f32 value, char* out) {
    char* start = out;
    if (value != value) {
        __builtin_memcpy(out, "nan", 4);
        return 3;
    }
    if (value < 0 || (value == 0 && __builtin_signbit(value)))
        *out++ = '-';
    f64 x = value < 0 ? -f64(value) : f64(value);
    if (x == __builtin_inf()) {
        __builtin_memcpy(out, "inf", 4);
        return u32(out - start) + 3;
    }
    if (x == 0) {
        __builtin_memcpy(out, "0", 2);
        return u32(out - start) + 1;
    }
    // The decimal exponent of the leading digit: x lies in [10^k, 10^(k+1)).
    i32 k = 0;
    while (powerOfTen(k) > x)
        --k;
    while (powerOfTen(k + 1) <= x)
        ++k;
    // Fewest digits first; each candidate is checked the way the scanner would read it
    // (an integer mantissa times a power of ten in double, rounded to float). Nine digits
    // always read back, since their spacing is below half a float's.
    u64 mantissa = 0;
    i32 exponent = 0;
    for (i32 digits = 1; digits <= 9; ++digits) {
        exponent = k - digits + 1;
        f64 scaled = x * powerOfTen(-exponent);
        mantissa = u64(scaled + 0.5);
        if (f32(f64(mantissa) * powerOfTen(exponent)) == f32(x))
            break;
    }
    while (mantissa % 10 == 0 && mantissa != 0) {
        mantissa /= 10;
        ++exponent;
    }
    char digitText[20];
    u32 digitCount = u32(writeUnsigned(digitText, mantissa) - digitText);
    i32 leading = exponent + i32(digitCount) - 1;  // exponent of the first digit
    if (leading >= -6 && leading < 9) {
        if (exponent >= 0) {
            out = writeUnsigned(out, mantissa);
            for (i32 i = 0; i < exponent; ++i)
                *out++ = '0';
        } else if (leading >= 0) {
            u32 integerDigits = u32(leading + 1);
            __builtin_memcpy(out, digitText, integerDigits);
            out += integerDigits;
            *out++ = '.';
            __builtin_memcpy(out, digitText + integerDigits, digitCount - integerDigits);
            out += digitCount - integerDigits;
        } else {
            *out++ = '0';
            *out++ = '.';
            for (i32 i = -1; i > leading; --i)
                *out++ = '0';
            __builtin_memcpy(out, digitText, digitCount);
            out += digitCount;
        }
    } else {
        *out++ = digitText[0];
        if (digitCount > 1) {
            *out++ = '.';
            __builtin_memcpy(out, digitText + 1, digitCount - 1);
            out += digitCount - 1;
        }
        *out++ = 'e';
        *out++ = leading < 0 ? '-' : '+';
        out = writeUnsigned(out, u64(leading < 0 ? -leading : leading));
    }
    *out = 0;
    return u32(out - start);
}
