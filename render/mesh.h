// A load's vertices on the GPU: the buffer, the draw ranges and what the frame needs to
// place and colour them.
#pragma once

#include "stl/vertices.h"

struct ID3D11Buffer;

#pragma pack(push, 1)

struct GpuMesh {
    u32 solidCount;
    u8* solidVisible;     // a 0 byte hides its solid; null shows all
    u32 colour;           // R lowest; multiplies every vertex colour
    GpuDrawRange* drawRanges;
    ID3D11Buffer* vertexBuffer;  // one reference, released by the owner when vertexCount != 0
    u32 vertexCount;
    f32 centre[3];        // metres
    f32 size[3];          // metres
    f32 metresPerUnit;
    // The mesh check's marks, once it has found any: the triangles of misoriented edges
    // (tintedVertexCount vertices), then the open and non-manifold edges as a line list
    // (edgeVertexCount), all white. The array lives in the load's heap; the buffer is made
    // from it by the first frame that shows them.
    GpuVertex* markVertices;
    u32 tintedVertexCount;
    u32 edgeVertexCount;
    ID3D11Buffer* marksBuffer;  // one reference, released with the vertex buffer
};

#pragma pack(pop)

// Releases the mesh's vertex buffer (and its marks' buffer) when it has one and forgets it;
// a second call does nothing. The record itself lives in its load's heap.
void releaseVertexBuffer(GpuMesh* mesh);

// The largest vertex count whose byte width fits the 32-bit width of one GPU buffer.
enum : u64 { kMaxGpuVertices = 0xFFFFFFFFull / sizeof(GpuVertex) };
