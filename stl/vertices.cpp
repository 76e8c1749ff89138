#include "stl/vertices.h"

#include <xmmintrin.h>

#include "stl/worker_thread.h"

namespace {

u8 expand5(u32 v) {
    return u8((v << 3) | (v >> 2));
}

void colourOf(u16 word, u8 order, u8 out[4]) {
    u32 low = word & 31, middle = (word >> 5) & 31, high = (word >> 10) & 31;
    if (order == 0) {
        out[0] = out[1] = out[2] = 255;
    } else if (order == kColourRgb) {
        out[0] = expand5(low);
        out[1] = expand5(middle);
        out[2] = expand5(high);
    } else {
        out[0] = expand5(high);
        out[1] = expand5(middle);
        out[2] = expand5(low);
    }
    out[3] = 255;
}

// (v2 - v1) x (v3 - v1), divided by its length; a degenerate triangle gives 0 / 0.
void computedNormal(const StlTriangle& t, f32 out[3]) {
    f32 ax = t.vertices[1].x - t.vertices[0].x, ay = t.vertices[1].y - t.vertices[0].y, az = t.vertices[1].z - t.vertices[0].z;
    f32 bx = t.vertices[2].x - t.vertices[0].x, by = t.vertices[2].y - t.vertices[0].y, bz = t.vertices[2].z - t.vertices[0].z;
    f32 nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    f32 length = _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(nx * nx + ny * ny + nz * nz)));
    out[0] = nx / length;
    out[1] = ny / length;
    out[2] = nz / length;
}

}  // namespace

namespace {

u8 effectiveOrder(const StlSolid& solid, u8 colourOrder) {
    return !solid.hasColours ? 0 : colourOrder == kColourNotStated ? u8(kColourRgb) : colourOrder;
}

// The triangles [first, first + count) of a solid, written at the streams, their positions
// measured into the streams' box. With kTrackNaN, `nanSeen` gathers the lanes in which a
// position was NaN: what the box of a later run of triangles needs to be joined to an
// earlier one (see joinBoxes).
template <bool kTrackNaN>
void writeTriangles(const StlSolid& solid, u32 first, u32 count, u8 order, VertexStreams* streams, __m128* nanSeen) {
    bool storedNormals = solid.hasNormals;
    const StlTriangle* triangles = solid.triangles + first;
    // The cursors live in registers for the loop: stores through u8 pointers could alias
    // the record that holds them, and the compiler would reload them after every store.
    u8* position = streams->position;
    u8* normalOut = streams->normal;
    u8* colourOut = streams->colour;
    const u32 positionStride = streams->positionStride, normalStride = streams->normalStride;
    const u32 colourStride = streams->colourStride;
    // minps and maxps keep the first operand only when it compares less (greater), so a NaN
    // position is taken over and a NaN box is replaced by the next vertex. The box is taken
    // here, from the positions in the file's records while they are in cache, rather than in
    // a second pass over a vertex array too large for any cache.
    __m128 low = _mm_loadu_ps(streams->low);
    __m128 high = _mm_loadu_ps(streams->high);
    __m128 nan = kTrackNaN ? *nanSeen : _mm_setzero_ps();
    u8 colour[4];
    colourOf(0, 0, colour);
    for (u32 i = 0; i < count; ++i) {
        const StlTriangle& t = triangles[i];
        // Sixteen bytes from each vertex would read past the last record for the third one:
        // that one is loaded from four bytes earlier and turned into place.
        const f32* corner = &t.vertices[0].x;
        __m128 p0 = _mm_loadu_ps(corner);
        __m128 p1 = _mm_loadu_ps(corner + 3);
        __m128 p2 = _mm_shuffle_ps(_mm_loadu_ps(corner + 5), _mm_loadu_ps(corner + 5), _MM_SHUFFLE(0, 3, 2, 1));
        low = _mm_min_ps(low, p0);
        high = _mm_max_ps(high, p0);
        low = _mm_min_ps(low, p1);
        high = _mm_max_ps(high, p1);
        low = _mm_min_ps(low, p2);
        high = _mm_max_ps(high, p2);
        if (kTrackNaN)
            nan = _mm_or_ps(nan, _mm_or_ps(_mm_cmpunord_ps(p0, p1), _mm_cmpunord_ps(p2, p2)));
        f32 normal[3];
        if (storedNormals) {
            __builtin_memcpy(normal, &t.normal, 12);
        } else {
            computedNormal(t, normal);
        }
        if (order)
            colourOf(t.attribute, order, colour);
        for (const StlVector& v : t.vertices) {
            __builtin_memcpy(position, &v, 12);
            __builtin_memcpy(normalOut, normal, 12);
            __builtin_memcpy(colourOut, colour, 4);
            position += positionStride;
            normalOut += normalStride;
            colourOut += colourStride;
        }
    }
    streams->position = position;
    streams->normal = normalOut;
    streams->colour = colourOut;
    _mm_storeu_ps(streams->low, low);
    _mm_storeu_ps(streams->high, high);
    if (kTrackNaN)
        *nanSeen = nan;
}

// Triangles [first, end) of the whole mesh, counted over its solids in order, into the
// vertex array at `base`: one of the two halves of a large preparation.
struct TriangleSpan {
    const StlMesh* mesh;
    u8 colourOrder;
    u64 first;
    u64 end;
    u8* base;
    VertexStreams streams;  // the box carries over; the cursors are set per solid
    __m128 nanSeen;
};

template <bool kTrackNaN>
void writeSpan(TriangleSpan* span) {
    u64 solidFirst = 0;
    for (u32 i = 0; i < span->mesh->solidCount && solidFirst < span->end; ++i) {
        const StlSolid& solid = span->mesh->solids[i];
        u64 solidEnd = solidFirst + solid.triangleCount;
        u64 from = span->first > solidFirst ? span->first : solidFirst;
        u64 to = span->end < solidEnd ? span->end : solidEnd;
        if (from < to) {
            u8* at = span->base + from * 3 * sizeof(GpuVertex);
            span->streams.position = at;
            span->streams.normal = at + 12;
            span->streams.colour = at + 24;
            writeTriangles<kTrackNaN>(solid, u32(from - solidFirst), u32(to - from), effectiveOrder(solid, span->colourOrder),
                                      &span->streams, &span->nanSeen);
        }
        solidFirst = solidEnd;
    }
}

void writeLaterSpan(void* context) {
    writeSpan<true>(static_cast<TriangleSpan*>(context));
}

// The box of two runs of positions from the boxes of each, as one walk over both would
// leave it: per lane, a NaN in the later run makes that run's box the answer (the walk
// forgets everything before a NaN), else minps and maxps join the two as they join
// positions.
void joinBoxes(VertexStreams* earlier, const TriangleSpan& later) {
    __m128 reset = later.nanSeen;
    __m128 low = _mm_loadu_ps(later.streams.low), high = _mm_loadu_ps(later.streams.high);
    __m128 joinedLow = _mm_min_ps(_mm_loadu_ps(earlier->low), low);
    __m128 joinedHigh = _mm_max_ps(_mm_loadu_ps(earlier->high), high);
    _mm_storeu_ps(earlier->low, _mm_or_ps(_mm_and_ps(reset, low), _mm_andnot_ps(reset, joinedLow)));
    _mm_storeu_ps(earlier->high, _mm_or_ps(_mm_and_ps(reset, high), _mm_andnot_ps(reset, joinedHigh)));
}

// From this many triangles on, a second thread writes the later half of the vertex array.
// Most of the time goes to first touches of the array's fresh pages, which the system
// serves on each core independently, and to the stores; below this the thread's start
// (some 0.1 ms under Wine) is not worth it.
const u64 kSplitTriangles = 65536;

}  // namespace

bool writeSolidVertices(const StlMesh* mesh, u32 index, VertexStreams* streams, u8 colourOrder) {
    const StlSolid& solid = mesh->solids[index];
    writeTriangles<false>(solid, 0, solid.triangleCount, effectiveOrder(solid, colourOrder), streams, nullptr);
    return true;
}

bool prepareVertices(const LoadResult* result, LoadHeap heap, const ReportSink* sink, PreparedVertices* out) {
    const StlMesh& mesh = result->mesh;
    u32 n = mesh.solidCount;
    *out = PreparedVertices{};
    if (n == 0)
        return true;
    u64 total = 0;
    for (u32 i = 0; i < n; ++i)
        total += 3 * u64(mesh.solids[i].triangleCount);
    // Both are asked for before either is tested, so that one failure reports once.
    GpuVertex* vertices = total ? allocateArrayOf<GpuVertex>(heap, total, sink) : nullptr;
    GpuDrawRange* ranges = allocateArrayOf<GpuDrawRange>(heap, n, sink);
    if ((total && !vertices) || !ranges)
        return false;
    u64 written = 0;
    for (u32 i = 0; i < n; ++i) {
        ranges[i].firstVertex = u32(written);
        ranges[i].triangleCount = mesh.solids[i].triangleCount;
        written += 3 * u64(mesh.solids[i].triangleCount);
    }
    u8 colourOrder = result->format == kFormatAscii ? u8(kColourNotStated) : result->provenance.colourOrder;
    const f32 inf = __builtin_inff();
    VertexStreams box = {nullptr, sizeof(GpuVertex), nullptr, sizeof(GpuVertex), nullptr, sizeof(GpuVertex),
                         {inf, inf, inf, inf}, {-inf, -inf, -inf, -inf}};
    u64 triangles = total / 3;
    TriangleSpan earlier = {&mesh, colourOrder, 0, triangles, reinterpret_cast<u8*>(vertices), box, _mm_setzero_ps()};
    // Two threads write disjoint halves of the array from the read-only records and share
    // nothing else; the join makes the later half's stores and box visible here. A binary
    // file's records are read in the mapped file, which may vanish: a fault on the worker
    // ends its half and comes back from the join.
    WorkerThread worker = nullptr;
    TriangleSpan later = earlier;
    if (triangles >= kSplitTriangles) {
        later.first = earlier.end = triangles / 2;
        worker = startWorkerThread(writeLaterSpan, &later);
        if (!worker)
            earlier.end = triangles;
    }
    writeSpan<false>(&earlier);
    if (worker) {
        if (u32 error = joinWorkerThread(worker)) {
            report(sink, kSystemError, error);
            return false;
        }
        joinBoxes(&earlier.streams, later);
    }
    *out = PreparedVertices{vertices, total, ranges, {earlier.streams.low[0], earlier.streams.low[1], earlier.streams.low[2]},
                            {earlier.streams.high[0], earlier.streams.high[1], earlier.streams.high[2]}};
    return true;
}

void measureBoundingBox(const PreparedVertices* prepared, u32, f32 metresPerUnit, f32 centre[3], f32 size[3]) {
    f32 lo[3] = {prepared->low[0], prepared->low[1], prepared->low[2]};
    f32 hi[3] = {prepared->high[0], prepared->high[1], prepared->high[2]};
    if (!(lo[0] < hi[0] && lo[1] < hi[1] && lo[2] < hi[2])) {
        lo[0] = lo[1] = lo[2] = -1.0f;
        hi[0] = hi[1] = hi[2] = 1.0f;
    }
    for (int k = 0; k < 3; ++k) {
        f32 a = lo[k] * metresPerUnit, b = hi[k] * metresPerUnit;
        centre[k] = 0.5f * (a + b);
        size[k] = b - a;
    }
}

u32 objectColour(u32 materialColour, const LoadResult* result, u32 defaultColour) {
    if (materialColour >> 24)
        return materialColour;
    if (result && result->format == kFormatBinary && result->mesh.solidCount && result->mesh.solids[0].hasColours)
        return 0xFFFFFFFF;
    return defaultColour;
}

u32 statedMaterialColour(const LoadResult* result) {
    return result->format == kFormatBinary ? result->provenance.materialColour : 0;
}
