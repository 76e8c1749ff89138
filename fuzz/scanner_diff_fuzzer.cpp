// The number scanner against the one it replaced: both run over the same bytes, number
// after number, and must agree on every result, every value bit, every cursor position and
// every end-of-file warning.
#include <cstring>
#include <vector>

#include "stl/number_scanner.h"
#include "support/reference_scanner.h"

namespace {

struct CountingSink {
    bool answer;
    u32 reports;
};

bool countAndAnswer(void* context, ResultCode, uptr, const Utf16*) {
    CountingSink* counting = static_cast<CountingSink*>(context);
    ++counting->reports;
    return counting->answer;
}

u32 bitsOf(f32 value) {
    u32 bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that AddressSanitizer sees a read past the end.
    std::vector<uint8_t> copy(data, data + size);
    const u8* first = copy.data();
    const u8* end = first + size;
    bool answer = size > 0 && (data[0] & 1);
    bool withSink = size & 1;
    CountingSink newCount = {answer, 0}, oldCount = {answer, 0};
    ReportSink newSink = {&newCount, countAndAnswer}, oldSink = {&oldCount, countAndAnswer};
    const u8* cursor = first;
    while (cursor < end) {
        const u8* newCursor = cursor;
        const u8* oldCursor = cursor;
        f32 newValue = -12345.0f, oldValue = -12345.0f;
        i32 newResult = scanNumber(&newValue, &newCursor, end, withSink ? &newSink : nullptr);
        i32 oldResult = referenceScanNumber(&oldValue, &oldCursor, end, withSink ? &oldSink : nullptr);
        if (newResult != oldResult || bitsOf(newValue) != bitsOf(oldValue) || newCursor != oldCursor ||
            newCount.reports != oldCount.reports)
            __builtin_trap();
        // Past what was consumed, or one byte on when nothing was: every start is tried
        // that a reader moving on after a failure would try.
        cursor = newCursor == cursor ? cursor + 1 : newCursor;
    }
    return 0;
}
