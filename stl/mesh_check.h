// Whether a load's triangles close up, and how much material they hold: what a user asks
// before printing. Works on the load's prepared vertices (three a triangle, every solid,
// shown or not), whose positions are the file's own coordinates, bit for bit.
//
// - Two vertices are the same when their coordinates are bit-identical floats as read, -0
//   and +0 alike; a vertex with a NaN coordinate equals nothing.
// - A triangle with two equal vertices is degenerate: counted, then left out.
// - An edge is an unordered pair of vertices: open when one triangle uses it, non-manifold
//   when three or more do, misoriented when its two triangles run it the same way. Shells
//   are the groups of triangles joined through edges of exactly two triangles.
// - Area and volume (the signed sum of the tetrahedra from the origin) are summed in double
//   and given in metres; the mesh is closed when no edge is open or non-manifold.
//
// The vertices are welded by sorting the corners, as 32-bit numbers, on a key of their
// coordinate bits (the cell of the model's box on top, a mix of the bits below: one radix
// pass into buckets, a counting pass inside each) and comparing the bits themselves within
// equal keys; the edges are then matched per vertex. Two threads share the work in small
// chunks, and each step looks for a stop every 4K items. Memory, from a heap of the check's
// own destroyed before it returns: 28 bytes a triangle (each corner's vertex, 12; the
// sorted corners, 12; the shells' union-find, 4), 64 counts of 4 bytes for each of up to
// 8,192 buckets, and 28 bytes for each corner of the largest bucket, which holds at most a
// 32nd of them (a vertex shared by an extreme fan of triangles can make one bucket hold all
// of its corners).
#pragma once

#include "diag/report.h"
#include "stl/vertices.h"

struct MeshCheck {
    u64 triangles;             // all of them, degenerate ones too
    u64 vertices;              // distinct, of the non-degenerate triangles
    u64 degenerateTriangles;
    u64 edges;                 // distinct
    u64 edgeUses;              // three for each non-degenerate triangle
    u64 openEdges;
    u64 nonManifoldEdges;
    u64 misorientedEdges;
    u64 shells;
    f64 area;                  // square metres
    f64 signedVolume;          // cubic metres; the volume when closed
    bool closed;
    bool insideOut;            // closed, and the signed volume is negative
};

// Optional outputs for showing where a mesh is broken. `edgeEnds` receives, for each open
// or non-manifold edge, the two corners (indices into the vertex array) that give its ends; `tintedTriangles` one byte a triangle, 1 for a triangle with a
// misoriented edge. Both are allocated in `heap` (the caller's) when asked for.
struct MeshMarks {
    u32* edgeEnds;        // 2 per edge
    u64 edgeEndCount;     // edges marked
    u8* tintedTriangles;  // null when no triangle has a misoriented edge
};

// False when the check was stopped: memory ran out (reported to `sink`), more than
// kMaxCheckedTriangles, or the sink answered stop to a progress report (the check reports
// kProgress in thousandths between its steps; a null sink is never asked).
enum : u64 { kMaxCheckedTriangles = 0x55555554 };
bool checkMesh(const PreparedVertices* vertices, f64 metresPerUnit, const ReportSink* sink, MeshCheck* out,
               void* marksHeap = nullptr, MeshMarks* marks = nullptr);
