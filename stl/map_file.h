#pragma once

#include "diag/report.h"

// Opens and maps the whole file read-only; other writers are refused while it is open.
// On success the caller owns `*view` (unmapFile). An empty file is success with a null view
// and size 0. On failure the system's error code is reported (kSystemError) and the outputs
// are untouched (open failed) or the view is null (mapping failed).
bool mapFile(const u8** view, u64* size, const wchar_t* path, const ReportSink* sink);
void unmapFile(const u8* view);
