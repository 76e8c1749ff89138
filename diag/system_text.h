// The system side of text: error messages and code-page conversion. One implementation
// per platform; the translator and the decoder above it are neutral.
#pragma once

#include "diag/base.h"

// The system's one-line text for a Win32 error code, into `out`; returns the units written
// (no terminator), 0 when the system has none.
u32 systemErrorText(u32 error, Utf16* out, u32 capacity);

// Converts `length` bytes of the code page (0: the system's ANSI page) to UTF-16 and returns
// the units written, never more than `capacity`. No terminator is written.
u32 convertCodePage(u32 codePage, const u8* bytes, u32 length, Utf16* out, u32 capacity);
