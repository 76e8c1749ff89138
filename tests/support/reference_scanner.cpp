#include "support/reference_scanner.h"

#include "stl/number_scanner.h"
namespace {

// Once the mantissa reaches this, further digits are dropped: 17 significant digits are
// more than a float can tell apart, and the mantissa stays far from overflowing 64 bits.
const i64 kMantissaCap = 9999999999999999;

// The exponent accumulator grows only while it is at most this, so it never passes
// 6,169: any exponent beyond 616 already makes every 17-digit mantissa 0 or infinite.
const i32 kExponentDigitsCap = 616;

// Dropped integer digits raise the decimal exponent; past this they change nothing more
// (the value is infinite already), and stopping here keeps a file of gigabytes of digits
// from overflowing the 32-bit exponent.
const i32 kDroppedDigitsCap = 1 << 20;

const u32 kQuietNegativeNaN = 0xFFC00000;

bool isDigit(u8 byte) {
    return u8(byte - '0') < 10;
}

bool startsWith(const u8* cursor, const u8* end, const char* text, u64 length) {
    return u64(end - cursor) >= length && __builtin_memcmp(cursor, text, length) == 0;
}

f32 floatFromBits(u32 bits) {
    f32 value;
    __builtin_memcpy(&value, &bits, 4);
    return value;
}

i32 endOfInput(const ReportSink* sink) {
    if (!sink)
        return kScanEnded;
    return report(sink, kUnexpectedEndOfFile) ? kScanEnded : kScanFailed;
}

// The powers a float can tell from each other come from this table; square-and-multiply
// gives the same doubles for them, since every intermediate product is exact.
const f64 kExactPowers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                              1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

f64 referencePowerOfTen(i32 exponent) {
    u32 bits = exponent < 0 ? 0u - u32(exponent) : u32(exponent);
    f64 result;
    if (bits < COUNT_OF(kExactPowers)) {
        result = kExactPowers[bits];
    } else {
        result = 1.0;
        f64 base = 10.0;
        for (; bits; bits >>= 1) {
            if (bits & 1)
                result *= base;
            base *= base;
        }
    }
    return exponent < 0 ? 1.0 / result : result;
}

i32 referenceScanNumber(f32* value, const u8** cursorRef, const u8* end, const ReportSink* sink) {
    const u8* cursor = *cursorRef;
    if (cursor == end)
        return endOfInput(sink);

    bool negative = false;
    if (*cursor == '-') {
        negative = true;
        ++cursor;
        // Nine bytes from the sign, not eight: the old Microsoft spelling of an indefinite
        // NaN is only taken when something follows it.
        if (end - cursor >= 9 && cursor[2] == '#' && __builtin_memcmp(cursor, "1.#IND00", 8) == 0) {
            *value = floatFromBits(kQuietNegativeNaN);
            *cursorRef = cursor + 8;
            return kScanValue;
        }
    } else if (*cursor == '+') {
        ++cursor;
    }
    if (cursor == end) {
        *cursorRef = cursor;
        return endOfInput(sink);
    }

    u8 lead = *cursor;
    if ((lead == 'N' || lead == 'n') && (startsWith(cursor, end, "NaN", 3) || startsWith(cursor, end, "nan", 3))) {
        *value = floatFromBits(kQuietNegativeNaN);
        *cursorRef = cursor + 3;
        return kScanValue;
    }
    if (lead == 'I' && startsWith(cursor, end, "Infinity", 8)) {
        *value = negative ? -__builtin_inff() : __builtin_inff();
        *cursorRef = cursor + 8;
        return kScanValue;
    }

    i64 mantissa = 0;
    i32 exponent = 0;
    bool integerDigits = isDigit(*cursor);
    if (!integerDigits && *cursor != '.' && *cursor != ',') {
        *cursorRef = cursor;
        return kScanFailed;
    }
    for (; cursor != end && isDigit(*cursor); ++cursor) {
        if (mantissa < kMantissaCap)
            mantissa = mantissa * 10 + (*cursor - '0');
        else if (exponent < kDroppedDigitsCap)
            ++exponent;
    }

    if (cursor != end && (*cursor == '.' || *cursor == ',')) {
        ++cursor;
        if (!integerDigits) {
            if (cursor == end) {
                *cursorRef = cursor;
                return endOfInput(sink);
            }
            if (!isDigit(*cursor)) {
                *cursorRef = cursor;
                return kScanFailed;
            }
        }
        for (; cursor != end && isDigit(*cursor); ++cursor) {
            if (mantissa < kMantissaCap) {
                mantissa = mantissa * 10 + (*cursor - '0');
                --exponent;
            }
        }
    }

    if (cursor != end && (*cursor == 'e' || *cursor == 'E')) {
        ++cursor;
        if (cursor == end) {
            *cursorRef = cursor;
            return endOfInput(sink);
        }
        bool negativeExponent = *cursor == '-';
        if (*cursor == '-' || *cursor == '+') {
            ++cursor;
            if (cursor == end) {
                *cursorRef = cursor;
                return endOfInput(sink);
            }
        }
        if (!isDigit(*cursor)) {
            *cursorRef = cursor;
            return kScanFailed;
        }
        i32 digits = 0;
        for (; cursor != end && isDigit(*cursor); ++cursor) {
            if (digits <= kExponentDigitsCap)
                digits = digits * 10 + (*cursor - '0');
        }
        exponent += negativeExponent ? -digits : digits;
    }

    // The sign goes on the integer mantissa, so every spelling of -0 gives +0.
    f64 scaled = f64(negative ? -mantissa : mantissa) * referencePowerOfTen(exponent);
    *value = f32(scaled);
    *cursorRef = cursor;
    return kScanValue;
}
