// The digit generator against the C library's correctly rounded "%.*e", for any double and
// any digit count, and the positional text for every double. Each 9 bytes of the input are
// one case (8 for the double, 1 for the count), so a large input is many cases, up to 8,192
// of them: the cases are independent, and all of a 500 KB input would take a quarter of a
// second a run under the sanitizers, which starves the fuzzer of runs for nothing.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "format/digits.h"
#include "support/printf_digits.h"

namespace {

void check(const uint8_t* record) {
    double value;
    std::memcpy(&value, record, 8);
    u32 count = 1 + record[8] % 17;
    DecimalDigits d;
    generateDigits(value, count, &d);
    char text[400];
    writePositional(value, text);
    if (!std::isfinite(value) || value == 0)
        return;
    int decpt;
    std::string digits = printfDigits(value, int(count), &decpt);
    if (digits != d.digits || decpt != d.decpt) {
        std::fprintf(stderr, "%a with %u digits: %s e%d, want %s e%d\n", value, count, d.digits, d.decpt, digits.c_str(), decpt);
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (size_t at = 0; at + 9 <= size && at < 8192 * 9; at += 9)
        check(data + at);
    return 0;
}
