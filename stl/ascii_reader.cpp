#include "stl/ascii_reader.h"

#include "stl/binary_reader.h"
#include "stl/number_scanner.h"

namespace {

// The shortest facet written with one-digit numbers and one-byte separators:
// "facet normal 0 0 0\nouter loop\nvertex 0 0 0\n" x3 "endloop\nendfacet\n".
const u64 kShortestFacetBytes = 86;

bool isBlank(u8 byte) {
    return byte == ' ' || byte == '\t';
}

bool isLineEnd(u8 byte) {
    return u8(byte - 10) <= 3;
}

const u8* skipWhitespace(const u8* cursor, const u8* end) {
    while (cursor != end && isStlWhitespace(*cursor))
        ++cursor;
    return cursor;
}

const u8* skipBlanks(const u8* cursor, const u8* end) {
    while (cursor != end && isBlank(*cursor))
        ++cursor;
    return cursor;
}

struct AsciiReader {
    StlMesh* mesh;
    const u8* first;
    const u8* end;
    LoadHeap heap;
    const ReportSink* sink;
    const u8* cursor;

    // The solid being read: its store, how many records it holds, how many are read.
    StlTriangle* store;
    u64 capacity;
    u32 facets;

    u64 progressStep;
    u32 progressValue;
    const u8* nextReport;

    uptr offset() const { return uptr(cursor - first); }

    // A warning whose answer may stop the load; no sink counts as go on.
    bool warn(ResultCode code, uptr argument) { return !sink || report(sink, code, argument); }

    void fail(ResultCode code) {
        if (sink)
            report(sink, code, offset());
    }
};

// The store is sized for the shortest facets, but a facet can be shorter still: numbers
// joined by their signs, separators left out, no "outer loop". Rather than check every
// write, the reader checks once per facet and doubles the store when it is full, so a
// well-formed file never grows it and a pathological one pays amortised copies.
bool makeRoomForFacet(AsciiReader* r) {
    if (r->facets < r->capacity)
        return true;
    u64 capacity = r->capacity ? r->capacity * 2 : 16;
    if (capacity > UINT32_MAX)
        capacity = UINT32_MAX;
    if (capacity <= r->facets) {  // 2^32 - 1 facets: the count cannot grow further
        if (r->sink)
            report(r->sink, kOutOfMemory);
        return false;
    }
    void* grown = reallocateArray(r->heap, r->store, sizeof(StlTriangle), capacity, r->sink);
    if (!grown)
        return false;
    r->store = static_cast<StlTriangle*>(grown);
    r->mesh->solids[r->mesh->solidCount - 1].triangles = r->store;
    r->capacity = capacity;
    return true;
}

// The first solid's store holds as many facets as the bytes left could: one allocation, and
// no growth for the common file of one solid. A later solid starts the size of the one
// before it (at least kLaterSolidRecords), never above that bound: sizing each of a
// million tiny solids for the whole rest of the file would cost a large allocation and
// release per solid, seconds in all. A larger solid grows its store as it goes.
const u64 kLaterSolidRecords = 4096;

u64 initialCapacity(const AsciiReader* r) {
    u64 bound = u64(r->end - r->cursor) / kShortestFacetBytes;
    if (r->mesh->solidCount == 0)
        return bound;
    u64 previous = r->mesh->solids[r->mesh->solidCount - 1].triangleCount;
    u64 wanted = previous > kLaterSolidRecords ? previous : kLaterSolidRecords;
    return wanted < bound ? wanted : bound;
}

bool beginSolid(AsciiReader* r) {
    StlMesh* mesh = r->mesh;
    if (!makeRoomForSolid(mesh, r->heap, r->sink))
        return false;
    r->capacity = initialCapacity(r);
    r->store = allocateArrayOf<StlTriangle>(r->heap, r->capacity, r->sink);
    if (!r->store)
        return false;
    r->facets = 0;

    const u8* nameStart = r->cursor;
    while (r->cursor != r->end && !isLineEnd(*r->cursor))
        ++r->cursor;
    // The solid counts as the mesh's from here, so that a failure releases its store.
    StlSolid* solid = &mesh->solids[mesh->solidCount++];
    solid->hasColours = 0;
    solid->hasNormals = 0;
    solid->triangleCount = 0;
    solid->triangles = r->store;
    solid->name = FileText{nameStart, u32(r->cursor - nameStart), 0};
    if (u64(r->cursor - nameStart) > UINT32_MAX)
        solid->name.length = UINT32_MAX;

    r->progressValue = u32(1000 - u64(r->end - r->cursor) / r->progressStep);
    r->nextReport = r->cursor;
    return true;
}

// Shrinks the store to the facets read; a failed shrink keeps the larger store.
void endSolid(AsciiReader* r) {
    StlSolid* solid = &r->mesh->solids[r->mesh->solidCount - 1];
    solid->triangleCount = r->facets;
    void* shrunk = reallocateArray(r->heap, r->store, sizeof(StlTriangle), r->facets ? r->facets : 1, r->sink);
    if (shrunk)
        solid->triangles = static_cast<StlTriangle*>(shrunk);
}

enum FacetOutcome { kFacetRead, kSolidEnds, kLoadFails };

// After a vector: 1 ends the solid without this facet; -1 fails the load. A -1 with input
// left is a byte that cannot start a number (the end-of-file warning answered with stop
// leaves the cursor at the end), and gets its message here so that the user sees why.
FacetOutcome afterBadVector(AsciiReader* r, i32 result) {
    if (result == kScanEnded)
        return kSolidEnds;
    if (r->cursor != r->end)
        r->fail(kExpectedNumber);
    return kLoadFails;
}

bool hasNonZero(const StlVector& v) {
    // A NaN compares unequal to 0 and so counts; -0 does not.
    return v.x != 0.0f || v.y != 0.0f || v.z != 0.0f;
}

// One facet after its "facet normal" keyword.
FacetOutcome readFacet(AsciiReader* r) {
    if (!makeRoomForFacet(r))
        return kLoadFails;
    StlTriangle* triangle = &r->store[r->facets];
    i32 result = readVector3(&triangle->normal, &r->cursor, r->end, r->sink);
    if (result != kScanValue)
        return afterBadVector(r, result);
    if (hasNonZero(triangle->normal))
        r->mesh->solids[r->mesh->solidCount - 1].hasNormals = 1;

    r->cursor = skipWhitespace(r->cursor, r->end);
    if (matchKeyword(&r->cursor, r->end, "outer loop")) {
        r->cursor = skipWhitespace(r->cursor, r->end);
        for (StlVector& vertex : triangle->vertices) {
            if (r->cursor == r->end)
                return r->warn(kUnexpectedEndOfFile, 0) ? kSolidEnds : kLoadFails;
            if (!matchKeyword(&r->cursor, r->end, "vertex")) {
                r->fail(kExpectedVertex);
                return kLoadFails;
            }
            result = readVector3(&vertex, &r->cursor, r->end, r->sink);
            if (result != kScanValue)
                return afterBadVector(r, result);
            r->cursor = skipWhitespace(r->cursor, r->end);
        }
        if (!matchKeyword(&r->cursor, r->end, "endloop")) {
            r->fail(kExpectedEndloop);
            return kLoadFails;
        }
    } else {
        // A facet without its loop has no vertices in the file: it is kept as a point at
        // the origin rather than with whatever bytes the store held.
        __builtin_memset(triangle->vertices, 0, sizeof(triangle->vertices));
    }
    r->cursor = skipWhitespace(r->cursor, r->end);
    if (!matchKeyword(&r->cursor, r->end, "endfacet")) {
        r->fail(kExpectedEndfacet);
        return kLoadFails;
    }
    ++r->facets;
    return kFacetRead;
}

// At the cursor where "facet normal" did not match. False fails the load.
bool readSolidEnd(AsciiReader* r) {
    if (matchKeyword(&r->cursor, r->end, "endsolid")) {
        const FileText& name = r->mesh->solids[r->mesh->solidCount - 1].name;
        if (name.length != 0) {
            const u8* after = r->cursor + 1 + u64(name.length);
            bool named = r->end - r->cursor > i64(name.length) && *r->cursor == ' ' &&
                         __builtin_memcmp(r->cursor + 1, name.bytes, name.length) == 0 &&
                         (after == r->end || isStlWhitespace(*after));
            if (named)
                r->cursor = after;
            else if (!r->warn(kMissingEndsolidName, r->offset()))
                return false;
        }
        while (r->cursor != r->end && !isLineEnd(*r->cursor))
            ++r->cursor;
        if (r->cursor != r->end)
            ++r->cursor;
        endSolid(r);
        return true;
    }
    if (matchKeyword(&r->cursor, r->end, "end solid")) {
        if (!r->warn(kEndSolidWithSpace, r->offset()))
            return false;
        endSolid(r);
        return true;
    }
    r->fail(kExpectedFacetOrEndsolid);
    return false;
}

// The facets of one solid, up to and including its end. False fails the load.
bool readSolidBody(AsciiReader* r) {
    for (;;) {
        r->cursor = skipWhitespace(r->cursor, r->end);
        if (r->cursor == r->end) {
            if (!r->warn(kUnexpectedEndOfFile, 0))
                return false;
            endSolid(r);
            return true;
        }
        if (!matchKeyword(&r->cursor, r->end, "facet normal"))
            return readSolidEnd(r);
        switch (readFacet(r)) {
        case kFacetRead:
            break;
        case kSolidEnds:
            endSolid(r);
            return true;
        case kLoadFails:
            return false;
        }
        if (r->cursor >= r->nextReport) {
            bool goOn = !r->sink || report(r->sink, kProgress, r->progressValue);
            ++r->progressValue;
            if (!goOn)
                return false;
            r->nextReport += r->progressStep;
        }
    }
}

}  // namespace

i32 readVector3(StlVector* out, const u8** cursor, const u8* end, const ReportSink* sink) {
    f32 values[3];
    for (f32& value : values) {
        *cursor = skipBlanks(*cursor, end);
        i32 result = scanNumber(&value, cursor, end, sink);
        if (result != kScanValue)
            return result;
    }
    out->x = values[0];
    out->y = values[1];
    out->z = values[2];
    return kScanValue;
}

bool readAsciiStl(StlMesh* mesh, const u8* first, u64 size, LoadHeap heap, const ReportSink* sink) {
    mesh->fileStart = nullptr;
    mesh->solids = nullptr;
    mesh->solidCount = 0;
    AsciiReader r = {};
    r.mesh = mesh;
    r.first = first;
    r.end = first + size;
    r.heap = heap;
    r.sink = sink;
    r.cursor = first;
    r.progressStep = size / 1000 + 1;
    for (;;) {
        r.cursor = skipWhitespace(r.cursor, r.end);
        if (r.cursor == r.end)
            return true;
        if (!matchKeyword(&r.cursor, r.end, "solid")) {
            r.fail(kExpectedSolid);
            break;
        }
        r.cursor = skipBlanks(r.cursor, r.end);
        if (!beginSolid(&r) || !readSolidBody(&r))
            break;
    }
    releaseStlMesh(mesh, heap);
    return false;
}
