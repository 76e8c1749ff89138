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

// The top hex digit is the kind (8 error, 4 warning, 1 information, 0 control); the middle
// part is the area (0x800 STL reading and provenance, 0xB00 Windows, 0xD00 Direct3D). Each
// group below says what its argument is.
enum : ResultCode {
    // Control: the integer count of progress, and a NUL-terminated UTF-16 line (the
    // translator's own output, also what reports text that is already UTF-16). The
    // pass-through codes go on unchanged, argument and all.
    kProgress = 0x00000003,
    kUtf16Text = 0x00000006,
    kWarningPassThrough = 0x40000002,
    kErrorPassThrough = 0x80000004,

    // Codes that carry their own text: a NUL-terminated 8-bit text (Windows-1252), shown as
    // it is, however long.
    kPlainText = 0x00000004,
    kWarningText = 0x40000000,
    kErrorText = 0x80000002,

    // STL reading and provenance, and the plain errors, with a table text each: an integer,
    // the byte offset in the file where one is known (else 0), which the text does not show.
    kBadArchiCadUnit = 0x40000800,
    kBadArchiCadScale = 0x40000801,
    kMissingEndsolidName = 0x40000802,
    kEndSolidWithSpace = 0x40000803,
    kUnexpectedEndOfFile = 0x40000804,
    kUnknownUnitAssumingMillimetres = 0x40000805,
    kUnknownSpaceAssumingZUp = 0x40000806,
    kExpectedSolid = 0x80000800,
    kExpectedSolidName = 0x80000801,
    kExpectedFacetOrEndsolid = 0x80000802,
    kExpectedVertex = 0x80000803,
    kExpectedNumber = 0x80000804,
    kExpectedEndloop = 0x80000805,
    kExpectedEndfacet = 0x80000806,
    kEndOfFileInTriangleCount = 0x80000807,
    kEndOfFileInTriangles = 0x80000808,
    kOutOfMemory = 0x80000005,
    kFileNotFound = 0x80000007,

    // Who wrote a file, composed into one line of at most 65,534 units: kWrittenBy carries a
    // NUL-terminated 8-bit name; kWrittenText and kWrittenTo a pointer to a FileText,
    // decoded with its code page.
    kWrittenBy = 0x10000800,
    kWrittenText = 0x10000801,
    kWrittenTo = 0x10000802,

    // Windows: the integer Win32 error code, whose text the system gives. The settings codes
    // carry a pointer to the failing key's record and show "<unknown>".
    kSystemError = 0x80000B00,
    kSettingsKeyFailed = 0x80000B01,
    kSettingsValueFailed = 0x80000B02,

    // Direct3D: the integer HRESULT, sign-extended, for the codes reportDirect3DFailure
    // chooses (the argument is not shown); the GPU lines carry an integer: the feature level
    // (D3D_FEATURE_LEVEL), the compute-shader flag.
    kUnknownWasStillDrawing = 0x00000001,
    kOutOfGpuMemory = 0x80000006,
    kD3DDebugLayerMissing = 0x80000D00,
    kD3DInvalidCall = 0x80000D01,
    kD3DTooManyStates = 0x80000D02,
    kD3DTooManyViews = 0x80000D03,
    kD3DGpuTooOld = 0x80000D04,
    kD3DDriverUpdatePending = 0x80000D05,
    kD3DNotAvailable = 0x80000D06,
    kD3DDeviceLost = 0x80000D07,
    kGpuFeatureLevel = 0x10000d00,
    kGpuComputeShaders = 0x10000d01,
};

inline bool isErrorCode(ResultCode code) {
    return (code & 0x80000000u) != 0;
}

// Room for the longest trace: 16 frame lines of 42 units and the terminator (673 units).
// The buffer `report` keeps on its stack is that rounded up to whole 256-unit blocks: 768.
enum : u32 {
    kTraceFrames = 16,
    kTraceLineUnits = 42,
    kTraceCapacity = kTraceFrames * kTraceLineUnits + 1,
    kTraceBufferUnits = (kTraceCapacity + 255) / 256 * 256,
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
