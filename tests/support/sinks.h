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
    std::u16string trace;
};

struct RecordingSink {
    std::vector<Recorded> reports;
    bool answer = true;
    ReportSink sink{this, &RecordingSink::receive};

    static bool receive(void* context, ResultCode code, uptr argument, const Utf16* trace) {
        RecordingSink* self = static_cast<RecordingSink*>(context);
        self->reports.push_back({code, argument, trace != nullptr, code == kUtf16Text ? reinterpret_cast<const Utf16*>(argument) : u"",
                                 trace ? trace : u""});
        return self->answer;
    }
    // The codes other than progress, the progress values, the lines.
    std::vector<ResultCode> codes() const {
        std::vector<ResultCode> out;
        for (const Recorded& r : reports)
            if (r.code != kProgress)
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

// Printable form of a UTF-16 line, for comparisons with ASCII and assertion messages.
inline std::string narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

// translator -> recorder
struct TranslatingSink {
    RecordingSink recorder;
    ReportSink sink = makeMessageTranslator(&recorder.sink);

    TranslatingSink() = default;
    TranslatingSink(const TranslatingSink&) = delete;
    std::vector<std::string> narrowLines() const {
        std::vector<std::string> out;
        for (const std::u16string& line : recorder.lines())
            out.push_back(narrow(line));
        return out;
    }
};

// The lines exporter identification ends with when it learns nothing of axis or unit.
const std::string kZUpWarning = "STL warning: unknown coordinate space; assuming Z up";
const std::string kUnitWarning = "STL warning: unknown unit; assuming milimeters";

inline std::vector<std::string> writtenBy(const std::string& name, std::vector<std::string> more = {}) {
    more.insert(more.begin(), "STL info: written by " + name);
    return more;
}
