// The number scanner as it was before it read digits eight at a time: one digit per step,
// a division for negative powers. Kept outside the product as the yardstick the faster
// scanner must match bit for bit (the differential fuzz target and the scanner tests).
#pragma once

#include "diag/report.h"

i32 referenceScanNumber(f32* value, const u8** cursor, const u8* end, const ReportSink* sink);
f64 referencePowerOfTen(i32 exponent);
