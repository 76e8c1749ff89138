#pragma once

#include "diag/base.h"

// The lines for a list of return addresses, without the terminator; an address outside
// every module gives the unknown-module line. Split from the capture so that it can be
// given addresses no stack holds.
Utf16* writeTraceLines(Utf16* out, void* const* frames, u32 frameCount);
