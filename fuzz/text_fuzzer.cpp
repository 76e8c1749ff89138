// File texts: the code-page guess, decoding with every page the program names, and the
// translator's composed lines that carry them.
#include <cstring>
#include <vector>

#include "diag/messages.h"

namespace {

bool checkLine(void*, ResultCode code, uptr argument, const Utf16*) {
    if (code == kUtf16Text) {
        const Utf16* line = reinterpret_cast<const Utf16*>(argument);
        u32 length = 0;
        while (line[length])
            ++length;
        if (length > 65534)
            __builtin_trap();
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    const u32 pages[] = {0, 65001, 1251, 1252, 20127};
    for (u32 page : pages) {
        FileText text = {copy.data(), u32(size), page};
        std::vector<Utf16> out(size * 4 + 1);
        Utf16* end = decodeFileText(&text, out.data());
        if (end < out.data() || end > out.data() + size * 4)
            __builtin_trap();
    }
    guessCodePage(copy.data(), u32(size));

    ReportSink last = {nullptr, checkLine};
    ReportSink translator = makeMessageTranslator(&last);
    FileText text = {copy.data(), u32(size), 0};
    report(&translator, kWrittenTo, reinterpret_cast<uptr>(&text));
    report(&translator, kWrittenText, reinterpret_cast<uptr>(&text));
    std::vector<char> name(copy.begin(), copy.end());
    name.push_back(0);
    report(&translator, kWrittenBy, reinterpret_cast<uptr>(name.data()));
    report(&translator, kErrorText, reinterpret_cast<uptr>(name.data()));
    return 0;
}
