// The number scanner against the one it replaced: both run over the same bytes, number
// after number, and must agree on every result, every value bit, every cursor position and
// every end-of-file warning.
#include <vector>

#include "stl/number_scanner.h"
#include "support/reference_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that AddressSanitizer sees a read past the end.
    std::vector<uint8_t> copy(data, data + size);
    const u8* end = copy.data() + size;
    // A sink for an odd size, answering as the first byte's low bit says; none for an even one.
    int answer = size & 1 ? data[0] & 1 : -1;
    for (const u8* cursor = copy.data(); cursor < end;) {
        ScanOutcome outcome = scanOnce(scanNumber, cursor, end, answer);
        if (outcome != scanOnce(referenceScanNumber, cursor, end, answer))
            __builtin_trap();
        // Past what was consumed, or one byte on when nothing was: every start is tried
        // that a reader moving on after a failure would try.
        cursor += std::get<2>(outcome) ? std::get<2>(outcome) : 1;
    }
    return 0;
}
