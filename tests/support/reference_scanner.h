// The number scanner as it was before its negative powers of ten came from a table of
// reciprocals (it divided by the power for each number). Kept outside the product as the
// yardstick that every faster scanner must match bit for bit (the differential fuzz target
// and the scanner tests).
#pragma once

#include "diag/report.h"

i32 referenceScanNumber(f32* value, const u8** cursor, const u8* end, const ReportSink* sink);
f64 referencePowerOfTen(i32 exponent);
