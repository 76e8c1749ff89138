// Reports: every operation that meets something worth telling hands a ResultCode with one
// argument to a ReportSink. Sinks chain; the first link of every chain the program builds
// is the message translator (messages.h), which turns codes into text.
//
// Contract of a sink callback:
// - `trace` is a NUL-terminated UTF-16 stack trace for error codes (bit 31 set) and null
//   otherwise. It lives on the reporter's stack: copy what you keep.
// - Return true to let the reporting operation go on, false to make it stop. Only
//   operations that say so obey a false (the ASCII reader at its progress reports and
//   warnings); the others ignore the answer.
// - Callers that may run without a sink receive a null ReportSink pointer and skip
//   the report; `report` itself never takes a null sink.
#pragma once

#include "diag/base.h"

typedef u32 ResultCode;

struct ReportSink {
    void* context;
    bool (*callback)(void* context, ResultCode code, uptr argument, const Utf16* trace);
};

enum : ResultCode {
    kUnknownWasStillDrawing = 0x00000001,
    kProgress = 0x00000003,
    kPlainText = 0x00000004,
    kUtf16Text = 0x00000006,
    kWarningText = 0x40000000,
    kWarningPassThrough = 0x40000002,
    kBadArchiCadUnit = 0x40000800,
    kBadArchiCadScale = 0x40000801,
    kMissingEndsolidName = 0x40000802,
    kEndSolidWithSpace = 0x40000803,
    kUnexpectedEndOfFile = 0x40000804,
    kUnknownUnitAssumingMillimetres = 0x40000805,
    kUnknownSpaceAssumingZUp = 0x40000806,
    kWrittenBy = 0x10000800,
    kWrittenText = 0x10000801,
    kWrittenTo = 0x10000802,
    kGpuFeatureLevel = 0x10000d00,
    kGpuComputeShaders = 0x10000d01,
    kErrorText = 0x80000002,
    kErrorPassThrough = 0x80000004,
    kOutOfMemory = 0x80000005,
    kOutOfGpuMemory = 0x80000006,
    kFileNotFound = 0x80000007,
    kExpectedSolid = 0x80000800,
    kExpectedSolidName = 0x80000801,
    kExpectedFacetOrEndsolid = 0x80000802,
    kExpectedVertex = 0x80000803,
    kExpectedNumber = 0x80000804,
    kExpectedEndloop = 0x80000805,
    kExpectedEndfacet = 0x80000806,
    kEndOfFileInTriangleCount = 0x80000807,
    kEndOfFileInTriangles = 0x80000808,
    kSystemError = 0x80000B00,
    kSettingsKeyFailed = 0x80000B01,
    kSettingsValueFailed = 0x80000B02,
    kD3DDebugLayerMissing = 0x80000D00,
    kD3DInvalidCall = 0x80000D01,
    kD3DTooManyStates = 0x80000D02,
    kD3DTooManyViews = 0x80000D03,
    kD3DGpuTooOld = 0x80000D04,
    kD3DDriverUpdatePending = 0x80000D05,
    kD3DNotAvailable = 0x80000D06,
    kD3DDeviceLost = 0x80000D07,
};

inline bool isErrorCode(ResultCode code) {
    return (code & 0x80000000u) != 0;
}

// Room for the longest trace: 16 frame lines of 42 units and the terminator.
enum : u32 {
    kTraceFrames = 16,
    kTraceLineUnits = 42,
    kTraceCapacity = kTraceFrames * kTraceLineUnits + 1,
    kTraceBufferUnits = 768,
};

bool report(const ReportSink* sink, ResultCode code, uptr argument);
bool report(const ReportSink* sink, ResultCode code);

// Writes the trace of the calling thread, innermost frame first, starting inside the
// caller. `out` holds at least kTraceCapacity units.
void captureStackTrace(Utf16* out);

// One frame line: the module's file name in a field of 32 units (cut to 31 units and the
// marker 0x0085 when it does not fit), "+", the offset as 8 upper-case hex digits, LF.
// Returns the position after the line.
Utf16* writeFrameLine(Utf16* out, const Utf16* moduleName, u32 nameLength, u32 offset);
Utf16* writeUnknownFrameLine(Utf16* out);
