#pragma once

#include "diag/report.h"

// Results of scanNumber.
enum : i32 {
    kScanValue = 0,    // a value was stored
    kScanEnded = 1,    // the input ended where a number was expected; reading may go on
    kScanFailed = -1,  // not a number here, or the sink answered stop to the end-of-file warning
};

// Scans one decimal number at `*cursor` (before `end`; the bytes are not terminated) into
// `*value`, moving the cursor past what it consumed. Accepts a comma or a point as
// separator, an exponent, and the spellings "-1.#IND00", "NaN", "nan" and "Infinity" with
// an optional sign. At most 17 significant digits take part; later ones are truncated.
// Where the input ends too early it reports kUnexpectedEndOfFile and returns kScanEnded,
// or kScanFailed when the sink answers stop (no sink: kScanEnded). Never allocates.
i32 scanNumber(f32* value, const u8** cursor, const u8* end, const ReportSink* sink);

// 10^exponent by square-and-multiply in double precision: exact up to 10^22, infinity
// from 10^309 (so 0 for the reciprocals of those).
f64 powerOfTen(i32 exponent);
