#pragma once

#include "diag/base.h"

// The shortest decimal text (at most 9 significant digits, the most a float needs) that
// reads back as exactly `value` through the program's own number scanner: "0.001", "25.4",
// "1e+20", "-3.5e-7". Positional from 1e-6 up to 1e9, with an exponent outside. Non-finite
// values give "nan", "inf" or "-inf". Writes at most 17 characters and a terminator;
// returns the length.
u32 formatShortestFloat(f32 value, char* out);
