#include "reference_scanner.h"

#include "stl/number_scanner.h"
#include "support/sinks.h"
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

bool startsWith(const u8* cursor, const u8* end, const char* text) {
    u64 length = __builtin_strlen(text);
    return u64(end - cursor) >= length && __builtin_memcmp(cursor, text, length) == 0;
}

}  // namespace

// Square-and-multiply for every exponent: up to 10^22 every intermediate product is exact.
f64 referencePowerOfTen(i32 exponent) {
    u32 bits = exponent < 0 ? 0u - u32(exponent) : u32(exponent);
    f64 result = 1.0;
    for (f64 base = 10.0; bits; bits >>= 1, base *= base)
        if (bits & 1)
            result *= base;
    return exponent < 0 ? 1.0 / result : result;
}

i32 referenceScanNumber(f32* value, const u8** cursorRef, const u8* end, const ReportSink* sink) {
    const u8* cursor = *cursorRef;
    auto stop = [&](i32 result) {
        *cursorRef = cursor;
        return result;
    };
    // The end of the input is a warning; a sink that answers stop makes it a failure.
    auto ended = [&] { return stop(!sink || report(sink, kUnexpectedEndOfFile) ? kScanEnded : kScanFailed); };
    auto special = [&](u32 bits, u32 length) {
        __builtin_memcpy(value, &bits, 4);
        cursor += length;
        return stop(kScanValue);
    };
    if (cursor == end)
        return ended();

    bool negative = *cursor == '-';
    if (negative || *cursor == '+')
        ++cursor;
    // Nine bytes from the sign, not eight: the old Microsoft spelling of an indefinite NaN is
    // only taken when something follows it.
    if (negative && end - cursor >= 9 && startsWith(cursor, end, "1.#IND00"))
        return special(kQuietNegativeNaN, 8);
    if (cursor == end)
        return ended();
    if (startsWith(cursor, end, "NaN") || startsWith(cursor, end, "nan"))
        return special(kQuietNegativeNaN, 3);
    if (startsWith(cursor, end, "Infinity"))
        return special(negative ? 0xFF800000 : 0x7F800000, 8);

    i64 mantissa = 0;
    i32 exponent = 0;
    bool integerDigits = isDigit(*cursor);
    if (!integerDigits && *cursor != '.' && *cursor != ',')
        return stop(kScanFailed);
    for (; cursor != end && isDigit(*cursor); ++cursor)
        if (mantissa < kMantissaCap)
            mantissa = mantissa * 10 + (*cursor - '0');
        else if (exponent < kDroppedDigitsCap)
            ++exponent;

    if (cursor != end && (*cursor == '.' || *cursor == ',')) {
        ++cursor;
        if (!integerDigits && cursor == end)
            return ended();
        if (!integerDigits && !isDigit(*cursor))
            return stop(kScanFailed);
        for (; cursor != end && isDigit(*cursor) && mantissa < kMantissaCap; ++cursor, --exponent)
            mantissa = mantissa * 10 + (*cursor - '0');
        while (cursor != end && isDigit(*cursor))
            ++cursor;
    }

    if (cursor != end && (*cursor == 'e' || *cursor == 'E')) {
        ++cursor;
        if (cursor == end)
            return ended();
        bool negativeExponent = *cursor == '-';
        if (negativeExponent || *cursor == '+') {
            ++cursor;
            if (cursor == end)
                return ended();
        }
        if (!isDigit(*cursor))
            return stop(kScanFailed);
        i32 digits = 0;
        for (; cursor != end && isDigit(*cursor); ++cursor)
            if (digits <= kExponentDigitsCap)
                digits = digits * 10 + (*cursor - '0');
        exponent += negativeExponent ? -digits : digits;
    }

    // The sign goes on the integer mantissa, so every spelling of -0 gives +0.
    *value = f32(f64(negative ? -mantissa : mantissa) * referencePowerOfTen(exponent));
    return stop(kScanValue);
}

ScanOutcome scanOnce(NumberScanner scanner, const u8* first, const u8* end, int answer) {
    RecordingSink recorder;
    recorder.answer = answer == 1;
    f32 value = -12345.0f;
    const u8* cursor = first;
    i32 result = scanner(&value, &cursor, end, answer < 0 ? nullptr : &recorder.sink);
    u32 bits;
    __builtin_memcpy(&bits, &value, 4);
    return ScanOutcome{result, bits, u64(cursor - first), recorder.codes()};
}
