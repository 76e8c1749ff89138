#pragma once

#include "stl/heap.h"
#include "stl/records.h"

// Reads a mapped binary STL file into `mesh` without copying a triangle: each block of
// triangles (a count and its 50-byte records; the first after the 80-byte header, further
// ones while at least 4 bytes remain) becomes a solid that points into the file. The caller
// has checked that the first block fits (size >= 84 + 50 x first count). Reports progress
// (kProgress, 0..999 per block, answers ignored) and kEndOfFileInTriangles for a later block
// that runs past the end; on failure the mesh is released.
bool readBinaryStl(StlMesh* mesh, const u8* first, u64 size, LoadHeap heap, const ReportSink* sink);

// Makes room for mesh->solids[mesh->solidCount], growing the solid array in the heap.
// Reports "out of memory" and returns false when it cannot; the array is then unchanged.
bool makeRoomForSolid(StlMesh* mesh, LoadHeap heap, const ReportSink* sink);

// Frees what a reader allocated for the mesh: the triangle stores of an ASCII mesh (null
// fileStart), then the solid array. Used on the failure paths of both readers.
void releaseStlMesh(StlMesh* mesh, LoadHeap heap);
