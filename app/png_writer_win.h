// PNG files through the Windows Imaging Component: no image code of the program's own.
#pragma once

#include "diag/report.h"

// Writes `width` x `height` pixels of blue, green, red, top row first, as a PNG at `path`.
// The picture goes to a file beside it first and takes the name only when complete, so a
// failure (reported as the system's text) leaves no partial PNG. COM must be initialised.
bool writePng(const wchar_t* path, const u8* bgr, u32 width, u32 height, const ReportSink* sink);
