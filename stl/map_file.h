#pragma once

#include "diag/report.h"

// Opens and maps the whole file read-only; other writers are refused while it is open.
// On success the caller owns `*bytes` (unmapFile). An empty file is success with null bytes
// and size 0. On failure the system's error code is reported (kSystemError) and the outputs
// are untouched (open failed) or the bytes are null (mapping failed).
bool mapFile(const u8** bytes, u64* size, const wchar_t* path, const ReportSink* sink);
void unmapFile(const u8* bytes);
