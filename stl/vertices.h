// The triangles of a load as the GPU draws them: every triangle three vertices of its own
// (its normal and colour are per facet), one draw range per solid, and the bounding box
// in metres. Made by the load road; the view uploads them, the console tool measures them.
#pragma once

#include "stl/heap.h"
#include "stl/records.h"

#pragma pack(push, 1)

struct GpuVertex {
    f32 position[3];  // file units
    f32 normal[3];
    u8 colour[4];     // R, G, B, A
};

struct GpuDrawRange {
    u32 firstVertex;
    u32 triangleCount;
};


// Output cursor of writeSolidVertices: a write pointer and a byte stride per attribute.
struct VertexStreams {
    u8* position;
    u32 positionStride;
    u8* normal;
    u32 normalStride;
    u8* colour;
    u32 colourStride;
    // The box of the positions written so far, file units, x, y, z and a lane of no
    // meaning; the caller starts it at +infinity (low) and -infinity (high).
    f32 low[4];
    f32 high[4];
};

#pragma pack(pop)

static_assert(sizeof(GpuVertex) == 28);
static_assert(sizeof(GpuDrawRange) == 8);

// Three vertices per triangle of solid `index`: positions as stored, the stored normal (or
// the unit cross product when the solid has none), the colour from the attribute word by
// `colourOrder` (1 taken as 2; white when the solid has no colours); the streams' box grows
// by every position, in order. Always true.
bool writeSolidVertices(const StlMesh* mesh, u32 index, VertexStreams* streams, u8 colourOrder);

// The vertex array of a whole load, in the heap, and the draw ranges. False (reported)
// when memory runs out; the caller destroys the heap.
struct PreparedVertices {
    GpuVertex* vertices;  // null when there are none
    u64 vertexCount;
    GpuDrawRange* drawRanges;  // null when there are no solids
    f32 low[3];   // the box of the positions, file units, taken while they were written
    f32 high[3];
};
bool prepareVertices(const LoadResult* result, LoadHeap heap, const ReportSink* sink, PreparedVertices* out);

// The box of the drawn positions, in metres: a box that is empty, flat along an axis or
// NaN becomes the box from -1 to 1 file units on every axis. The positions are not read
// again: prepareVertices measured them as it wrote them (`solidCount` is not needed).
void measureBoundingBox(const PreparedVertices* prepared, u32 solidCount, f32 metresPerUnit, f32 centre[3], f32 size[3]);

// The colour a mesh is drawn with (R lowest; 0xFFFFFFFF: the file's own triangle colours):
// the material colour while it is applied (its fourth byte not 0), else the triangle colours
// of a binary file that has them, else the default object colour.
u32 objectColour(u32 materialColour, const LoadResult* result, u32 defaultColour);

// The material colour a load starts with: the one a binary file's header states (its fourth
// byte then says whether it applies), else none.
u32 statedMaterialColour(const LoadResult* result);
