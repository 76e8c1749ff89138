// The number scanner against the one it replaced: both run over the same bytes, number
// after number, and must agree on every result, every value bit, every cursor position and
// every end-of-file warning.
#include "support/reference_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    scanEveryNumber(data, size, [](const u8* cursor, const u8* end, int answer, const ScanOutcome& outcome) {
        if (outcome != scanOnce(referenceScanNumber, cursor, end, answer))
            __builtin_trap();
    });
    return 0;
}
