// The picture of a thumbnail: an STL file read through a ByteSource (whole, or a sample when
// large), loaded, and drawn as the viewer's first frame on a transparent background by one
// Direct3D device that the whole process shares.
#pragma once

#include <windows.h>

#include "stl/sampler.h"

// The largest side asked for: Direct3D 11's largest texture side.
enum : u32 { kMaxThumbnailSide = 16384 };

// A top-down 32-bit DIB section of side x side pixels with premultiplied alpha, or null when
// the file is not STL, fails to load or cannot be drawn. Safe from several threads at once:
// they share the device one at a time.
HBITMAP drawThumbnail(const ByteSource* source, u32 side);

// Releases the shared device; the next thumbnail makes a new one.
void releaseThumbnailDevice();
