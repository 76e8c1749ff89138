// The number scanner as it was before its negative powers of ten came from a table of
// reciprocals (it divided by the power for each number). Kept outside the product as the
// yardstick that every faster scanner must match bit for bit (the differential fuzz target,
// whose seeds hold the spellings and digit runs that once needed care).
#pragma once

#include <tuple>
#include <vector>

#include "diag/report.h"
#include "stl/number_scanner.h"

i32 referenceScanNumber(f32* value, const u8** cursor, const u8* end, const ReportSink* sink);
f64 referencePowerOfTen(i32 exponent);

// One scan at `first` by either scanner: the result, the value's bits (those of -12345 when
// none is stored), the bytes consumed and the codes reported; no sink for an answer of -1,
// else a sink that gives that answer.
typedef i32 (*NumberScanner)(f32* value, const u8** cursor, const u8* end, const ReportSink* sink);
typedef std::tuple<i32, u32, u64, std::vector<ResultCode>> ScanOutcome;
ScanOutcome scanOnce(NumberScanner scanner, const u8* first, const u8* end, int answer);

// The program's scanner over an exact-size copy of the fuzzer's input, number after number:
// past what was consumed, or one byte on when nothing was, so that every start is tried
// that a reader moving on after a failure would try. A sink for an odd size, answering as
// the first byte's low bit says; none for an even one. check(cursor, end, answer, outcome)
// sees each scan.
template <typename Check>
void scanEveryNumber(const u8* data, u64 size, Check check) {
    std::vector<u8> copy(data, data + size);
    const u8* end = copy.data() + size;
    int answer = size & 1 ? data[0] & 1 : -1;
    for (const u8* cursor = copy.data(); cursor < end;) {
        ScanOutcome outcome = scanOnce(scanNumber, cursor, end, answer);
        check(cursor, end, answer, outcome);
        cursor += std::get<2>(outcome) ? std::get<2>(outcome) : 1;
    }
}
