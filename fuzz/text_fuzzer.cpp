// File texts: the code-page guess, decoding with every page the program names, and the
// translator's lines that carry them. A code with its own 8-bit text is copied whole, at any
// length; only the composed lines are held to the 65,535-unit buffer.
#include <cstring>
#include <vector>

#include "diag/messages.h"

namespace {

enum : u64 { kComposedLimit = 65534 };  // units of a composed line, its terminator apart

// What the next line must look like: its prefix, and its length within [least, most].
struct Expected {
    const char* prefix;
    u64 least;
    u64 most;
    bool closingQuote;
    bool seen;
};

bool checkLine(void* context, ResultCode code, uptr argument, const Utf16*) {
    Expected* expected = static_cast<Expected*>(context);
    if (code != kUtf16Text || expected->seen)
        __builtin_trap();  // one line per report, nothing else
    expected->seen = true;
    const Utf16* line = reinterpret_cast<const Utf16*>(argument);
    u64 length = textLength(line);
    u64 prefix = textLength(expected->prefix);
    if (length < expected->least || length > expected->most || length < prefix)
        __builtin_trap();
    for (u64 i = 0; i < prefix; ++i)
        if (line[i] != Utf16(expected->prefix[i]))
            __builtin_trap();
    if (expected->closingQuote && line[length - 1] != u'"')
        __builtin_trap();
    return true;
}

void expectLine(ResultCode code, uptr argument, Expected expected) {
    ReportSink last = {&expected, checkLine};
    ReportSink translator = makeMessageTranslator(&last);
    report(&translator, code, argument);
    if (!expected.seen)
        __builtin_trap();
}

u64 atMost(u64 a, u64 b) {
    return a < b ? a : b;
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
        if (end < out.data() || end > out.data() + size)
            __builtin_trap();
    }
    u32 guess = guessCodePage(copy.data(), u32(size));
    if (guess != 0 && guess != kCodePageUtf8 && guess != kCodePageCyrillic)
        __builtin_trap();

    // Lines are NUL-terminated: a NUL byte of the text ends the line the next link sees.
    std::vector<char> name(copy.begin(), copy.end());
    name.push_back(0);
    u64 nameLength = textLength(name.data());
    bool whole = nameLength == size;
    FileText text = {copy.data(), u32(size), 0};
    expectLine(kWrittenText, reinterpret_cast<uptr>(&text),
               {"STL info: written ", 18, atMost(18 + size, kComposedLimit), false, false});
    expectLine(kWrittenTo, reinterpret_cast<uptr>(&text),
               {"STL info: written to \"", whole ? 23u : 22u, atMost(23 + size, kComposedLimit), whole, false});
    u64 writtenBy = atMost(21 + nameLength, kComposedLimit);
    expectLine(kWrittenBy, reinterpret_cast<uptr>(name.data()), {"STL info: written by ", writtenBy, writtenBy, false, false});
    // Its own text: widened unit for unit, however long.
    expectLine(kErrorText, reinterpret_cast<uptr>(name.data()), {"", nameLength, nameLength, false, false});
    return 0;
}
