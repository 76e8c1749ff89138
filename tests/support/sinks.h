// Sinks for tests: one that records every report as it arrives, and a translator in
// front of a recorder, which yields the lines a user would read.
#pragma once

#include <string>
#include <vector>

#include "diag/messages.h"
#include "diag/report.h"

struct Recorded {
    ResultCode code;
    uptr argument;
    bool hadTrace;
    std::u16string text;  // kUtf16Text lines only
};

struct RecordingSink {
    std::vector<Recorded> reports;
    bool answer = true;
    ReportSink sink{this, &RecordingSink::receive};

    static bool receive(void* context, ResultCode code, uptr argument, const Utf16* trace) {
        RecordingSink* self = static_cast<RecordingSink*>(context);
        Recorded entry{code, argument, trace != nullptr, {}};
        if (code == kUtf16Text)
            entry.text = reinterpret_cast<const char16_t*>(argument);
        self->reports.push_back(entry);
        return self->answer;
    }

    std::vector<ResultCode> codes(bool withProgress = false) const {
        std::vector<ResultCode> out;
        for (const Recorded& r : reports)
            if (withProgress || r.code != kProgress)
                out.push_back(r.code);
        return out;
    }

    std::vector<uptr> progress() const {
        std::vector<uptr> out;
        for (const Recorded& r : reports)
            if (r.code == kProgress)
                out.push_back(r.argument);
        return out;
    }

    std::vector<std::u16string> lines() const {
        std::vector<std::u16string> out;
        for (const Recorded& r : reports)
            if (r.code == kUtf16Text)
                out.push_back(r.text);
        return out;
    }
};

// translator -> recorder
struct TranslatingSink {
    RecordingSink recorder;
    ReportSink sink = makeMessageTranslator(&recorder.sink);

    TranslatingSink() = default;
    TranslatingSink(const TranslatingSink&) = delete;
};

inline std::u16string widenAscii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// Printable form of a UTF-16 line for assertion messages.
inline std::string narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? char(c) : '?';
    return out;
}
