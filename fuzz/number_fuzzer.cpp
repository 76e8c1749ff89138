// The number scanner alone: numbers one after another until the input is used up.
#include "reference_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    scanEveryNumber(data, size, [](const u8* cursor, const u8* end, int, const ScanOutcome& outcome) {
        auto [result, bits, consumed, codes] = outcome;
        // The cursor stays in the input; a value consumes something; anything else stores
        // nothing; "ended" means the end.
        if (consumed > u64(end - cursor) || (result == kScanValue ? consumed == 0 : bits != 0xC640E400) ||
            (result == kScanEnded && consumed != u64(end - cursor)))
            __builtin_trap();
    });
    return 0;
}
