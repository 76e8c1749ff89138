#pragma once

#include "stl/heap.h"
#include "stl/records.h"

// Reads a mapped ASCII STL file into `mesh`: one solid per "solid" ... "endsolid" block,
// each with a triangle store of its own in `heap` and its name pointing into the file.
// Reports progress by position (kProgress, thousandths of the file) and the dialect
// warnings and syntax errors with their byte offsets. Stops, releasing the mesh, at the
// first error or when the sink answers stop to a progress report or a warning.
bool readAsciiStl(StlMesh* mesh, const u8* first, u64 size, LoadHeap heap, const ReportSink* sink);

// True when the bytes at `*cursor` are `keyword` followed by whitespace or the end; the
// cursor then moves past the keyword (not past the whitespace).
inline bool matchKeyword(const u8** cursor, const u8* end, const char* keyword, u64 length) {
    const u8* at = *cursor;
    if (u64(end - at) < length || __builtin_memcmp(at, keyword, length) != 0)
        return false;
    if (at + length != end && !isStlWhitespace(at[length]))
        return false;
    *cursor = at + length;
    return true;
}

// The keywords are literals; their lengths are known where they are written.
template <u64 N>
inline bool matchKeyword(const u8** cursor, const u8* end, const char (&keyword)[N]) {
    return matchKeyword(cursor, end, keyword, N - 1);
}

// Three numbers on the current line, each after optional blanks (not line ends). Returns
// the first result of scanNumber that is not kScanValue.
i32 readVector3(StlVector* out, const u8** cursor, const u8* end, const ReportSink* sink);
