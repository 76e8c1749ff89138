#include "stl/detect.h"

#include "stl/ascii_reader.h"
#include "stl/binary_reader.h"
#include "stl/exporter.h"

namespace {

// Nonzero and of magnitude below 1.1755e-38 (bits 0x00800028): every subnormal and the
// smallest normal floats. Real coordinates are never that small; the bytes of text or of
// other formats read as floats often are.
bool isImplausible(f32 value) {
    const u32 smallestBits = 0x00800028;
    f32 smallest;
    __builtin_memcpy(&smallest, &smallestBits, 4);
    return value != 0.0f && value > -smallest && value < smallest;
}

}  // namespace

bool looksLikeBinaryStl(const u8* first, u64 size) {
    if (size % 2 != 0 || size < kBinaryFirstRecord)
        return false;
    u32 count = loadU32(first + kBinaryHeaderBytes);
    if (count == 0)
        return size == kBinaryFirstRecord;
    if (size < kBinaryFirstRecord + u64(count) * kBinaryRecordBytes)
        return false;
    u32 examined = count < 4 ? count : 4;
    for (u32 i = 0; i < examined; ++i) {
        const u8* vertices = first + kBinaryFirstRecord + u64(i) * kBinaryRecordBytes + offsetof(StlTriangle, vertices);
        for (u32 k = 0; k < 9; ++k)
            if (isImplausible(loadF32(vertices + 4 * k)))
                return false;
    }
    return true;
}

bool looksLikeAsciiStl(const u8* first, u64 size) {
    u64 position = 0;
    while (position < 4 && isStlWhitespace(first[position]))
        ++position;
    if (__builtin_memcmp(first + position, "solid", 5) != 0)
        return false;
    position += 5;
    u8 separator = first[position];
    if (separator != '\t' && separator != '\n' && separator != '\r' && separator != ' ')
        return false;
    u64 limit = size < 256 ? size : 256;
    for (; position < limit; ++position) {
        u8 byte = first[position];
        if (byte < 32 && !isStlWhitespace(byte))
            return false;
    }
    return true;
}

StlFormat detectStlFormat(const u8* first, u64 size) {
    if (looksLikeBinaryStl(first, size))
        return kFormatBinary;
    if (size >= 16 && looksLikeAsciiStl(first, size))
        return kFormatAscii;
    return kFormatUnknown;
}

bool parseStl(LoadResult* result, StlFormat format, const u8* first, const u8* end, LoadHeap heap,
              const ReportSink* sink) {
    u64 size = u64(end - first);
    if (format == kFormatUnknown)
        format = detectStlFormat(first, size);
    if (format == kFormatAscii) {
        result->format = kFormatAscii;
        if (!readAsciiStl(&result->mesh, first, size, heap, sink))
            return false;
        identifyAsciiExporter(&result->mesh, &result->provenance, first, end, sink);
        return true;
    }
    if (format == kFormatBinary) {
        result->format = kFormatBinary;
        if (!readBinaryStl(&result->mesh, first, size, heap, sink))
            return false;
        identifyBinaryExporter(&result->mesh, &result->provenance, end, sink);
        return true;
    }
    return false;
}
