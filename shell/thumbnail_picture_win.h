// The picture of a thumbnail: an STL file read through a ByteSource (whole, or a sample when
// large), loaded, and drawn as the viewer's first frame on a transparent background by one
// Direct3D device that the whole process shares.
#pragma once

#include <windows.h>

#include "stl/load_road.h"
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

// Releases the shared device; the next thumbnail makes a new one.
void releaseThumbnailDevice();

// The shared device for the previews, made first when there is none or it was lost: `out`
// gets a reference to each of its objects (release them with releaseSharedRenderer), and
// `contextLock` the lock its immediate context is used under. False (reported) when no
// device can be made.
struct Renderer;
bool shareThumbnailDevice(Renderer* out, SRWLOCK** contextLock, const ReportSink* sink);

// A file as thumbnails read it: within the picture's budget whole, beyond it a sample
// (readStlSample with pictureBudget()), into `heap`.
bool readSampleForPicture(const ByteSource* source, LoadHeap heap, const ReportSink* sink, StlSample* out);

// The sample loaded, its triangles widened when it stands for a larger file; `sampleHeap`
// (the sample's) goes whether or not it loads. False (reported) when it does not load; a
// sample that is not STL fails without a report.
bool loadSample(LoadedFile* file, const StlSample* sample, LoadHeap sampleHeap, u32 side, const ReportSink* sink);
