// The picture of a thumbnail: an STL file read through a ByteSource (whole, or a sample when
// large), loaded, and drawn as the viewer's first frame on a transparent background by one
// Direct3D device that the whole process shares.
#pragma once

#include <windows.h>

#include "stl/sampler.h"

// The largest side asked for: Direct3D 11's largest texture side.
enum : u32 { kMaxThumbnailSide = 16384 };

// Where one thumbnail's time went, in performance-counter ticks, for the benchmark.
struct ThumbnailTimes {
    i64 sample;  // reading the sample through the source
    i64 load;    // the load road over the sample
    i64 widen;
    i64 device;  // waiting for the shared device, making it or the target when needed
    i64 upload;
    i64 draw;    // drawing, resolving, reading back and premultiplying
    i64 bitmap;
};

// A top-down 32-bit DIB section of side x side pixels with premultiplied alpha, or null when
// the file is not STL, fails to load or cannot be drawn; a file larger than `budget` is read
// as a sample. Safe from several threads at once: they share the device one at a time.
// `times` may be null.
HBITMAP drawThumbnail(const ByteSource* source, u32 side, const SampleBudget* budget, ThumbnailTimes* times);

// A ByteSource's read on an IStream (the context): one Seek and one Read per call.
bool readStream(void* context, u64 offset, u8* out, u64 length, const ReportSink* sink);

// Releases the shared device; the next thumbnail makes a new one.
void releaseThumbnailDevice();
