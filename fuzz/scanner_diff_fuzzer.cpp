// The number scanner against the one it replaced: both run over the same bytes, number
// after number, and must agree on every result, every value bit, every cursor position and
// every end-of-file warning; and their powers of ten agree over the whole range an exponent
// reaches, and saturate beyond it.
#include <cmath>

#include "reference_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool powersAgree = [] {
        for (i32 exponent = -400; exponent <= 400; ++exponent)
            if (powerOfTen(exponent) != referencePowerOfTen(exponent))
                return false;
        return powerOfTen(INT32_MIN) == 0.0 && powerOfTen(INT32_MAX) == INFINITY;
    }();
    if (!powersAgree)
        __builtin_trap();
    scanEveryNumber(data, size, [](const u8* cursor, const u8* end, int answer, const ScanOutcome& outcome) {
        if (outcome != scanOnce(referenceScanNumber, cursor, end, answer))
            __builtin_trap();
    });
    return 0;
}
