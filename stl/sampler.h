// A stand-in for a large STL file: the bytes of a smaller file of the same format made from
// evenly spread parts of it, for pictures that must be drawn within a time and memory budget
// whatever the file's size. A file within the budget is read whole.
// - Binary: the header, then runs of consecutive records spread evenly over the file's
//   records, under a triangle count that says how many were taken.
// - ASCII: runs of text, each cut to whole facets (from a "facet" at the start of a line
//   to the end of an "endfacet"); the first run keeps the file's opening line and the last
//   its closing one, so the result is a file the ASCII reader reads as it reads the whole.
// The bytes are read through a caller's function, so a stream or a file serves alike.
#pragma once

#include "stl/heap.h"
#include "stl/records.h"
#include "stl/vertices.h"

// Reads exactly `length` bytes at `offset` into `out`; false (after reporting why) when it
// cannot.
struct ByteSource {
    void* context;
    bool (*read)(void* context, u64 offset, u8* out, u64 length, const ReportSink* sink);
    u64 size;
};

// How much of a large file is read. Each kind takes at least two runs.
struct SampleBudget {
    u64 triangles;      // binary records taken from a file with more
    u64 runRecords;     // consecutive binary records per run
    u64 asciiBytes;     // ASCII text taken from a larger file
    u64 asciiRunBytes;  // ASCII text per run, before cutting to whole facets
};

// A picture `side` pixels square: four triangles a pixel, from 64 Ki to 512 Ki, in runs of
// 4 records; for ASCII, 96 bytes of text per triangle (roughly half as many triangles,
// whose text is twice as slow to read) in runs of 2 KiB. Short runs spread the sample over
// the surface: each run is one small patch of it.
SampleBudget pictureBudget(u32 side);

enum : u64 { kSampleHeadBytes = 512 };  // what detection reads

struct StlSample {
    u8* bytes;  // in the heap given; null when the file is empty
    u64 size;
    StlFormat format;         // kFormatUnknown: not STL (nothing reported)
    bool sampled;             // false: the whole file
    f32 keptFraction;         // of the file's triangles (binary) or bytes (ASCII); 1 when whole
    u64 runs;                 // the patches kept; 0 when whole
};

// False when a read failed or memory ran out (both reported); true otherwise, with
// `format` kFormatUnknown for a file that is not STL.
bool readStlSample(const ByteSource* source, const SampleBudget* budget, LoadHeap heap, const ReportSink* sink,
                   StlSample* out);

// Each triangle of a sampled load widened in its own plane, every corner moving away from
// the triangle's centre, so that the sample's `runs` patches, however small, cover the
// surface the triangles left out would have: by at least kWidenPixels pixels, more when
// the surface (the sample's area over keptFraction) has more pixels per patch. Pixels are
// those of a picture `pictureSide` square that the diagonal of the vertices' box spans.
// Growth in the surface's plane leaves a smooth silhouette where it is. A whole file's
// triangles (keptFraction 1) are left as they are.
void widenSampledTriangles(PreparedVertices* vertices, f32 keptFraction, u64 runs, u32 pictureSide);
constexpr f32 kWidenPixels = 0.75f;
constexpr f32 kWidenMaxPixels = 6.0f;
