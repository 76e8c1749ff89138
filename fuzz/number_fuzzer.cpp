// The number scanner alone: numbers one after another until the input is used up.
#include <vector>

#include "stl/number_scanner.h"
#include "support/reference_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    const u8* end = copy.data() + size;
    // A sink for an odd size, answering as the first byte's low bit says; none for an even one.
    int answer = size & 1 ? data[0] & 1 : -1;
    for (const u8* cursor = copy.data(); cursor < end;) {
        auto [result, bits, consumed, codes] = scanOnce(scanNumber, cursor, end, answer);
        u64 left = u64(end - cursor);
        // The cursor stays in the input; a value consumes something; anything else stores
        // nothing; "ended" means the end.
        if (consumed > left || (result == kScanValue ? consumed == 0 : bits != 0xC640E400) || (result == kScanEnded && consumed != left))
            __builtin_trap();
        cursor += consumed ? consumed : 1;
    }
    return 0;
}
