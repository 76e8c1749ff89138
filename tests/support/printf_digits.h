// The C library's correctly rounded "%.*e" as the yardstick for the digit generator: glibc's
// in the native build, mingw-w64's own printf on Windows (msvcrt's is not correctly
// rounded; a test defines __USE_MINGW_ANSI_STDIO before any include).
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// The first `count` significant digits of |value|, trailing zeros removed, and where the
// decimal point stands (0.d1d2... x 10^decpt), for a finite nonzero value.
inline std::string printfDigits(double value, int count, int* decpt) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", count - 1, std::fabs(value));
    const char* exponent = std::strchr(text, 'e');
    std::string digits(1, text[0]);
    if (count > 1)  // "%.0e" has no point
        digits.append(text + 2, exponent - text - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    *decpt = std::atoi(exponent + 1) + 1;
    return digits;
}
