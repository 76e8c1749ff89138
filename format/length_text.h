#pragma once

#include "diag/base.h"

// The unit a length in metres is shown in, chosen in single precision: below 0.01 m in
// millimetres, below 1 m in centimetres, below 1000 m in metres, else (NaN too) in
// kilometres. Gives the value in that unit (the product formed in single precision).
f64 chooseLengthUnit(f32 metres, const char** unit);

// The length as the user's locale writes numbers, then a thin space and the unit:
// "20.00 cm". Writes no terminator; returns the position after the unit. `out` holds at
// least kLengthTextUnits units.
enum : u32 { kLengthTextUnits = 410 };
Utf16* writeLengthText(f32 metres, Utf16* out);
