// Correctly rounded decimal digits of a double, after David M. Gay's dtoa ("Correctly
// Rounded Binary-Decimal and Decimal-Binary Conversions", AT&T Bell Laboratories Numerical
// Analysis Manuscript 90-10, 1990), in its mode 2: the value rounded to at most `count`
// significant digits, ties to the even digit, trailing zeros removed.
//
// Safe on any thread. Big integers come from the process heap, recycled through free
// lists; if the heap cannot supply one, the digits are made in double precision instead
// (correct except within a few units of the last bit of a decimal tie).
#pragma once

#include "diag/base.h"

struct DecimalDigits {
    char digits[20];  // '0'..'9', NUL-terminated; "Infinity" or "NaN" for those
    u32 count;        // digits before the terminator
    i32 decpt;        // the value is 0.d1d2d3... x 10^decpt; 9999 for Infinity and NaN
    bool negative;    // the sign bit, so -0 is negative too
};

// `count` is 1 to 17. Zero gives "0" with decpt 1.
void generateDigits(f64 value, u32 count, DecimalDigits* out);

// The positional text of a value's four-digit rounding: "0.0125", "1.25", "5.0", "12340.0";
// never an exponent. Writes no terminator and returns the position after the text; at most
// 330 characters for any finite value ("Infinity" and "NaN" are written as they are).
char* writePositional(f64 value, char* out);
