#pragma once

#include "stl/heap.h"
#include "stl/records.h"

// Binary first, so that a binary file whose header begins with "solid" is still binary.
// Reads at most the first 256 bytes and four triangle records; reports nothing.
StlFormat detectStlFormat(const u8* first, u64 size);

// The size agrees with the triangle count and the first (at most four) triangles hold
// plausible coordinates: none a subnormal or one of the smallest normal floats.
bool looksLikeBinaryStl(const u8* first, u64 size);

// "solid" within the first five bytes, then a separator, then text (no control byte but
// TAB to CR) up to byte 256. The size is at least 16.
bool looksLikeAsciiStl(const u8* first, u64 size);

// Runs the reader of the format (detected first when `format` is kFormatUnknown) and then
// its exporter identification, filling `result`. False when the format is not STL (nothing
// reported) or the reader failed (it reported why).
bool parseStl(LoadResult* result, StlFormat format, const u8* first, const u8* end, LoadHeap heap,
              const ReportSink* sink);

// What stepping through a folder makes of the item at `path`, by detection alone: an STL
// file of either encoding, something else (a folder, a file of another kind, a file that
// has gone since the folder was listed), or a file that is there but cannot be read now
// (another program holds it open without sharing, access is refused), whose load then
// says why. Reads the first bytes without mapping the file, so that nothing the
// user-interface thread does can fault on a file that goes away. Reports nothing, ever.
enum StlProbe : u8 { kOtherFile = 0, kStlFile = 1, kUnreadableFile = 2 };
StlProbe probeStlFile(const wchar_t* path);
