// The records of one load. Every consumer of a load (the readers that fill them, the
// exporter identification, the GPU preparation, the report) reads these layouts, which
// are packed in the order given: no padding between fields, checked below.
#pragma once

#include "diag/base.h"

typedef u32 StlFormat;
enum : StlFormat {
    kFormatUnknown = 0,
    kFormatAscii = 4,
    kFormatBinary = 5,
};

#pragma pack(push, 1)

// Counted 8-bit text from a file or from the program's tables, kept 8-bit with its code
// page until shown. The bytes are not terminated; code page 0 means "guess on decoding".
// The pages the program names itself:
enum : u32 {
    kCodePageCyrillic = 1251,  // Windows Cyrillic
    kCodePageUsAscii = 20127,  // the dates and versions exporters write in binary headers
    kCodePageUtf8 = 65001,
};

struct FileText {
    const u8* bytes;
    u32 length;
    u32 codePage;
};

struct StlVector {
    f32 x, y, z;
};

// The binary format: an 80-byte header, then blocks, each a 32-bit triangle count and that
// many 50-byte records (the first block is the file's; further ones are a dialect).
enum : u32 {
    kBinaryHeaderBytes = 80,
    kBinaryCountBytes = 4,
    kBinaryRecordBytes = 50,
    kBinaryFirstRecord = kBinaryHeaderBytes + kBinaryCountBytes,
};

// The 50-byte record of the binary format. Binary meshes use these where they stand in
// the mapped file; the ASCII reader writes the same layout (leaving `attribute` unwritten)
// so that every consumer reads both alike.
struct StlTriangle {
    StlVector normal;
    StlVector vertices[3];
    u16 attribute;
};

struct StlSolid {
    u8 hasColours;
    u8 hasNormals;
    u32 triangleCount;
    const StlTriangle* triangles;
    FileText name;
};

// `fileStart` is the mapped file for a binary mesh (its header is read there) and null for
// an ASCII mesh; null also says that the mesh owns its triangle stores. A finished load's
// binary mesh has neither: its triangles went into the vertex array.
struct StlMesh {
    const u8* fileStart;
    StlSolid* solids;
    u32 solidCount;
};

typedef u32 CoordinateSpace;
enum : CoordinateSpace {
    kSpaceUnknown = 0,
    kSpaceYUp = 1,
    kSpaceZUp = 2,
};

typedef u8 ColourOrder;
enum : ColourOrder {
    kColourNone = 0,
    kColourNotStated = 1,
    kColourRgb = 2,
    kColourBgr = 3,
};

struct FileProvenance {
    CoordinateSpace coordinateSpace;
    f32 metresPerUnit;  // NaN: unknown
    ColourOrder colourOrder;
    u32 materialColour;  // the four bytes after "COLOR=" as they lie, first byte lowest; 0: none
    FileText modelName;
};

// Straight from a reader, valid as long as both the bytes read and the LoadHeap exist; a
// finished load (load_road.h) keeps nothing in the bytes and lives as long as its heap.
struct LoadResult {
    StlFormat format;
    StlMesh mesh;
    FileProvenance provenance;
};

#pragma pack(pop)

static_assert(sizeof(FileText) == 16 && offsetof(FileText, length) == 8 && offsetof(FileText, codePage) == 12);
static_assert(sizeof(StlTriangle) == kBinaryRecordBytes && offsetof(StlTriangle, vertices) == 12 && offsetof(StlTriangle, attribute) == 48);
static_assert(sizeof(StlSolid) == 30 && offsetof(StlSolid, triangleCount) == 2 && offsetof(StlSolid, triangles) == 6 &&
              offsetof(StlSolid, name) == 14);
static_assert(sizeof(StlMesh) == 20 && offsetof(StlMesh, solids) == 8 && offsetof(StlMesh, solidCount) == 16);
static_assert(sizeof(FileProvenance) == 29 && offsetof(FileProvenance, metresPerUnit) == 4 &&
              offsetof(FileProvenance, colourOrder) == 8 && offsetof(FileProvenance, materialColour) == 9 &&
              offsetof(FileProvenance, modelName) == 13);
static_assert(sizeof(LoadResult) == 53 && offsetof(LoadResult, mesh) == 4 && offsetof(LoadResult, provenance) == 24);
