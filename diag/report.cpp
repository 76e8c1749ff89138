#include "diag/report.h"

bool report(const ReportSink* sink, ResultCode code, uptr argument) {
    // The trace is built here, on the reporter's stack, so that it shows where the error
    // arose; it costs nothing for warnings and progress.
    Utf16 trace[kTraceBufferUnits];
    const Utf16* traceText = nullptr;
    if (isErrorCode(code)) {
        captureStackTrace(trace);
        traceText = trace;
    }
    return sink->callback(sink->context, code, argument, traceText);
}

bool report(const ReportSink* sink, ResultCode code) {
    return report(sink, code, 0);
}

static const Utf16 kUnknownModuleLine[] = u"<unknown module>\n";

Utf16* writeFrameLine(Utf16* out, const Utf16* moduleName, u32 nameLength, u32 offset) {
    enum : u32 { kNameField = 32 };
    if (nameLength < kNameField) {
        for (u32 i = 0; i < nameLength; ++i)
            *out++ = moduleName[i];
        for (u32 i = nameLength; i < kNameField; ++i)
            *out++ = u' ';
    } else {
        for (u32 i = 0; i < kNameField - 1; ++i)
            *out++ = moduleName[i];
        *out++ = 0x0085;  // NEXT LINE: a unit no file name holds, so a cut name is never mistaken for a whole one
    }
    *out++ = u'+';
    out = writeHex(out, offset, 8);
    *out++ = u'\n';
    return out;
}

Utf16* writeUnknownFrameLine(Utf16* out) {
    for (u32 i = 0; i + 1 < COUNT_OF(kUnknownModuleLine); ++i)
        *out++ = kUnknownModuleLine[i];
    return out;
}
