// The digit generator against the C library's correctly rounded "%.*e", for any double
// and any digit count, and the positional text for every double.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "format/digits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9)
        return 0;
    double value;
    std::memcpy(&value, data, 8);
    u32 count = 1 + data[8] % 17;
    DecimalDigits d;
    generateDigits(value, count, &d);
    char text[400];
    writePositional(value, text);
    if (!std::isfinite(value) || value == 0)
        return 0;
    char reference[64];
    std::snprintf(reference, sizeof reference, "%.*e", int(count) - 1, std::fabs(value));
    const char* exponent = std::strchr(reference, 'e');
    std::string digits(1, reference[0]);
    if (count > 1)  // "%.0e" has no point
        digits += std::string(reference + 2, size_t(exponent - reference - 2));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    int decpt = std::atoi(exponent + 1) + 1;
    if (digits != d.digits || decpt != d.decpt) {
        std::fprintf(stderr, "%a with %u digits: %s e%d, want %s e%d\n", value, count, d.digits, d.decpt, digits.c_str(), decpt);
        __builtin_trap();
    }
    return 0;
}
