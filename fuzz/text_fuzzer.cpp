// File texts: the code-page guess, decoding with every page the program names, and the
// translator's lines that carry them. A code with its own 8-bit text is copied whole, at any
// length; only the composed lines are held to the 65,535-unit buffer.
#include <algorithm>
#include <string>
#include <vector>

#include "diag/messages.h"
#include "support/sinks.h"

namespace {

const u64 kComposedLimit = 65534;  // units of a composed line, its terminator apart

void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

// The one line the translator makes of the report, as the next link sees it: up to its
// terminator, so a NUL byte of the text ends it.
std::u16string lineOf(ResultCode code, uptr argument) {
    TranslatingSink chain;
    report(&chain.sink, code, argument);
    require(chain.recorder.codes() == std::vector<ResultCode>{kUtf16Text});
    return chain.recorder.reports[0].text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    // Every page makes at most one unit of each byte: the translator cuts a text to the
    // room it has on that promise.
    const u32 pages[] = {0, kCodePageUtf8, kCodePageCyrillic, 1252, kCodePageUsAscii};
    for (u32 page : pages) {
        FileText text = {copy.data(), u32(size), page};
        std::vector<Utf16> out(size * 4 + 1);
        Utf16* end = decodeFileText(&text, out.data());
        require(end >= out.data() && end <= out.data() + size);
    }
    u32 guess = guessCodePage(copy.data(), u32(size));
    require(guess == 0 || guess == kCodePageUtf8 || guess == kCodePageCyrillic);

    std::vector<char> name(copy.begin(), copy.end());
    name.push_back(0);
    u64 nameLength = textLength(name.data());
    FileText text = {copy.data(), u32(size), 0};
    std::u16string line = lineOf(kWrittenText, reinterpret_cast<uptr>(&text));
    require(line.rfind(u"STL info: written ", 0) == 0 && line.size() <= std::min<u64>(18 + size, kComposedLimit));
    line = lineOf(kWrittenTo, reinterpret_cast<uptr>(&text));
    require(line.rfind(u"STL info: written to \"", 0) == 0 && line.size() <= std::min<u64>(23 + size, kComposedLimit));
    require(nameLength < size || (line.size() >= 23 && line.back() == u'"'));  // closed unless a NUL cut it
    line = lineOf(kWrittenBy, reinterpret_cast<uptr>(name.data()));
    require(line.rfind(u"STL info: written by ", 0) == 0 && line.size() == std::min<u64>(21 + nameLength, kComposedLimit));
    // Its own text: widened unit for unit, however long.
    require(lineOf(kErrorText, reinterpret_cast<uptr>(name.data())).size() == nameLength);
    return 0;
}
