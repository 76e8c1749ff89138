// A growing UTF-8 text on the process heap, for reports written to a console or a pipe.
// Appending never fails loudly: a failed growth marks the output as failed and drops the
// rest, and the writer says so once at the end.
#pragma once

#include "diag/base.h"
#include "stl/records.h"

struct TextOutput {
    u8* bytes;
    u64 length;
    u64 capacity;
    bool failed;
};

void appendBytes(TextOutput* out, const void* bytes, u64 length);
void appendText(TextOutput* out, const char* text);
void appendUnsigned(TextOutput* out, u64 value);
void appendFloat(TextOutput* out, f32 value);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
void appendUtf16(TextOutput* out, const Utf16* text, u64 units);
// A JSON string literal of UTF-16 text, quotes included.
void appendJsonString(TextOutput* out, const Utf16* text, u64 units);
// A FileText decoded with its code page (guessed when 0), as UTF-8 or as a JSON string.
void appendFileText(TextOutput* out, const FileText* text, bool json);
void releaseTextOutput(TextOutput* out);
