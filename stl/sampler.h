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
    u64 runRecords;     // binary records kept per run
    u64 asciiBytes;     // ASCII text taken from a larger file
    u64 asciiRunBytes;  // ASCII text per run, before cutting to whole facets
    u64 runStride;      // a run reads runRecords * runStride records and keeps every
                        // runStride-th: a wider patch for the same triangles (0 as 1)
    u64 wholeTriangles;   // a binary file with no more records is read whole, and an ASCII
    u64 wholeAsciiBytes;  // one no larger (either below what a sample takes: as that)
};

// A picture's: 8,192 runs, each one read: 8 binary records kept from 64 consecutive ones,
// or 2 KiB of ASCII text. Each run is one patch of the surface, which the widening below
// grows to fill the space between patches. Runs are what a file outside the page cache
// costs (a read from the disk each), whatever the picture's size (a small one needs as
// many: its outline is most of it); triangles are what drawing costs. Files that load and
// draw whole well within a thumbnail's time are read whole: a sample of a file a few times
// its size would leave out a share of triangles too large for the widening to make up.
SampleBudget pictureBudget();
enum : u64 { kPictureRuns = 1u << 13 };
enum : u64 { kWholeTriangles = 1u << 18, kWholeAsciiBytes = 32u << 20 };

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

// Each triangle of a sampled load widened, every corner moving away from the triangle's
// centre, so that the sample's patches (a run's triangles, each within two pixels of the
// one before), however small, cover the surface the triangles left out would have. A
// patch's triangles stand for the file's around it, which are about their size (where a
// file's triangles are larger, fewer runs fall on each square pixel): the patch grows until
// it covers kWidenCover² times their area over keptFraction, by kWidenPixels to
// kWidenMaxPixels (in a picture of 256 pixels; larger ones have no more runs, so
// proportionally more). Pixels are those of a picture `pictureSide` square that the diagonal of
// the vertices' box spans. The corners move in the plane of their patch (its triangles'
// normals summed by area), which leaves a silhouette where it is even when the triangles
// themselves are tilted every way, as on a scan's rough surface. A whole file's triangles
// (keptFraction 1) are left as they are.
void widenSampledTriangles(PreparedVertices* vertices, const StlSample* sample, u32 pictureSide);
constexpr f32 kWidenPixels = 0.75f;
constexpr f32 kWidenMaxPixels = 6.0f;
constexpr f32 kWidenCover = 2.3f;  // more than 1: the runs are spread along the file, not
                                   // evenly over the surface
