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
    ReportSink sink{this, [](void* context, ResultCode code, uptr argument, const Utf16* trace) {
        RecordingSink* self = static_cast<RecordingSink*>(context);
        const Utf16* text = code == kUtf16Text ? reinterpret_cast<const Utf16*>(argument) : u"";
        self->reports.push_back({code, argument, trace != nullptr, text, trace ? trace : u""});
        return self->answer;
    }};

    // What `get` gives of each report for which `keep` holds.
    template <typename Keep, typename Get>
    auto collect(Keep keep, Get get) const {
        std::vector<decltype(get(reports[0]))> out;
        for (const Recorded& r : reports)
            if (keep(r.code))
                out.push_back(get(r));
        return out;
    }
    // The codes other than progress, the progress values, the lines.
    std::vector<ResultCode> codes() const {
        return collect([](ResultCode c) { return c != kProgress; }, [](const Recorded& r) { return r.code; });
    }
    std::vector<uptr> progress() const {
        return collect([](ResultCode c) { return c == kProgress; }, [](const Recorded& r) { return r.argument; });
    }
    std::vector<std::u16string> lines() const {
        return collect([](ResultCode c) { return c == kUtf16Text; }, [](const Recorded& r) { return r.text; });
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
