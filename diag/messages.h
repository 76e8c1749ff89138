// Turning reports into text. The message translator is the first link of every sink
// chain: it makes one UTF-16 line of each code and hands it on as kUtf16Text, with the
// trace unchanged. The line is valid only during that call; the next link copies what it
// keeps. Progress and the pass-through codes go on unchanged.
#pragma once

#include "diag/report.h"
#include "stl/records.h"

bool translateMessage(void* nextLink, ResultCode code, uptr argument, const Utf16* trace);

// A translator link in front of `next`, which must outlive it.
inline ReportSink makeMessageTranslator(const ReportSink* next) {
    return ReportSink{const_cast<ReportSink*>(next), translateMessage};
}

// The table text of a code, or null when the code has none (composed, passed on, or
// unknown).
const char* fixedMessageText(ResultCode code);

// The name of a D3D_FEATURE_LEVEL value as the GPU line shows it ("11", "9.0b", ...).
const char* featureLevelName(u32 featureLevel);

// Reports a failing Direct3D or DXGI HRESULT as the code of its kind, with the HRESULT
// (sign-extended) as argument. A null sink reports nothing.
void reportDirect3DFailure(i32 hresult, const ReportSink* sink);

// The code page of a text whose own is 0: UTF-8 if one well-formed multi-byte sequence
// appears, Windows Cyrillic if at least three quarters of the bytes are 0xC0 or more,
// else 0 (the system's ANSI page).
u32 guessCodePage(const u8* bytes, u32 length);

// Decodes `text` to UTF-16 at `out`, which has room for four units per byte, and returns
// the position after the last unit; writes no terminator.
Utf16* decodeFileText(const FileText* text, Utf16* out);

// The messages of a load: UTF-16 lines, each followed by CR LF, the whole kept
// NUL-terminated, on the process heap. `bytes` counts the text without its terminator.
#pragma pack(push, 1)
struct MessageText {
    Utf16* text;
    u64 bytes;
    u64 capacity;
};
#pragma pack(pop)

// Appends `line` and CR LF, growing the buffer to the larger of twice the bytes in use and
// the bytes needed. Returns false, with the text unchanged, when it cannot grow.
bool appendMessageLine(MessageText* messages, const Utf16* line);
void releaseMessageText(MessageText* messages);
