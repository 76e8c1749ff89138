#pragma once

#include "diag/base.h"

// The unit a length in metres is shown in, chosen in single precision: below 0.01 m in
// millimetres, below 1 m in centimetres, below 1000 m in metres, else (NaN too) in
// kilometres. Gives the value in that unit (the product formed in single precision).
f64 chooseLengthUnit(f32 metres, const char** unit);

// A number as the user's locale writes it, from its four-digit rounding: "1,234.50".
// Writes no terminator; returns the position after it. `out` holds at least 400 units.
Utf16* writeLocaleNumber(f64 value, Utf16* out);

// The length as the user's locale writes numbers, then a thin space and the unit:
// "20.00 cm". Writes no terminator; returns the position after the unit. `out` holds at
// least kLengthTextUnits units.
enum : u32 { kLengthTextUnits = 410 };
Utf16* writeLengthText(f32 metres, Utf16* out);

// The dimensions line: width x depth; height tall, each a length text. Height and depth
// are Y and Z of `size` for a Y-up file, Z and Y for a Z-up one. Writes no terminator;
// `out` holds at least kDimensionsTextUnits units.
enum : u32 { kDimensionsTextUnits = 3 * kLengthTextUnits + 16 };
Utf16* writeDimensionsText(const f32 size[3], bool yUp, Utf16* out);
