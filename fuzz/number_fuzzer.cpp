// The number scanner alone: numbers one after another until the input is used up.
#include <cstring>
#include <vector>

#include "stl/number_scanner.h"

namespace {

bool answerFromFirstByte(void* context, ResultCode, uptr, const Utf16*) {
    return *static_cast<bool*>(context);
}

const u32 kUntouched = 0x7FBADBAD;  // a NaN the scanner never makes

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    const u8* cursor = copy.data();
    const u8* end = cursor + size;
    bool goOn = size > 0 && (data[0] & 1);
    ReportSink sink = {&goOn, answerFromFirstByte};
    while (cursor < end) {
        f32 value;
        std::memcpy(&value, &kUntouched, 4);
        const u8* before = cursor;
        i32 result = scanNumber(&value, &cursor, end, (size & 1) ? &sink : nullptr);
        if (cursor < before || cursor > end)
            __builtin_trap();
        u32 bits;
        std::memcpy(&bits, &value, 4);
        // A value consumes something; anything else stores nothing; "ended" means the end.
        if (result == kScanValue ? cursor == before : bits != kUntouched)
            __builtin_trap();
        if (result == kScanEnded && cursor != end)
            __builtin_trap();
        if (result != kScanValue)
            cursor = cursor == before ? cursor + 1 : cursor;
    }
    return 0;
}
