#include "stl/sampler.h"

#include <immintrin.h>

#include "stl/detect.h"

SampleBudget pictureBudget() {
    return {8 * kPictureRuns, 8, kPictureRuns * (2u << 10), 2u << 10, 8, kWholeTriangles, kWholeAsciiBytes};
}

namespace {

bool isBlank(u8 byte) {
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == '\f' || byte == '\v';
}

// `word` at `at`, alone on its line so far (only blanks before it back to a line break or
// the start of `text`) and followed by a blank: a keyword, not part of a name or a number.
bool isLineKeyword(const u8* text, u64 at, u64 end, const char* word, u64 length) {
    if (at + length >= end || __builtin_memcmp(text + at, word, length) != 0 || !isBlank(text[at + length]))
        return false;
    for (u64 i = at; i-- > 0;) {
        if (text[i] == '\n' || text[i] == '\r')
            return true;
        if (!isBlank(text[i]))
            return false;
    }
    // The run's own start: the line may have begun before it, so only the file's start counts.
    return false;
}

// The first facet of the run, or `end` when none starts in it.
u64 firstFacet(const u8* text, u64 end) {
    for (u64 i = 0; i < end; ++i)
        if (text[i] == 'f' && isLineKeyword(text, i, end, "facet", 5))
            return i;
    return end;
}

// The position after the run's last complete "endfacet", or 0 when it has none.
u64 afterLastEndfacet(const u8* text, u64 end) {
    for (u64 i = end; i-- > 0;)
        if (text[i] == 'e' && isLineKeyword(text, i, end, "endfacet", 8))
            return i + 8;
    return 0;
}

bool readFirstBytes(const ByteSource* source, u64 size, LoadHeap heap, const ReportSink* sink, StlSample* out) {
    out->size = size;
    out->bytes = static_cast<u8*>(allocateArray(heap, 1, size, sink));
    return out->bytes && source->read(source->context, 0, out->bytes, size, sink);
}

bool sampleBinary(const ByteSource* source, const SampleBudget* budget, u32 count, LoadHeap heap,
                  const ReportSink* sink, StlSample* out) {
    u64 runs = budget->triangles / budget->runRecords;
    u64 taken = runs * budget->runRecords;
    // Runs that would overlap read less: the file has fewer records than they would span.
    u64 stride = budget->runStride > 1 ? budget->runStride : 1;
    stride = stride < count / taken ? stride : count / taken;
    u64 readRecords = budget->runRecords * stride;
    out->size = kBinaryFirstRecord + taken * kBinaryRecordBytes;
    out->bytes = static_cast<u8*>(allocateArray(heap, 1, out->size, sink));
    u8* run = static_cast<u8*>(allocateArray(heap, kBinaryRecordBytes, readRecords, sink));
    if (!out->bytes || !run || !source->read(source->context, 0, out->bytes, kBinaryHeaderBytes, sink))
        return false;
    u32 takenCount = u32(taken);
    __builtin_memcpy(out->bytes + kBinaryHeaderBytes, &takenCount, 4);
    // Run i starts at record i * (count - run) / (runs - 1): the first at the file's first
    // record, the last ending at its last one.
    u64 span = count - readRecords;
    u8* kept = out->bytes + kBinaryFirstRecord;
    for (u64 i = 0; i < runs; ++i) {
        u64 record = i * span / (runs - 1);
        if (!source->read(source->context, kBinaryFirstRecord + record * kBinaryRecordBytes, run,
                          readRecords * kBinaryRecordBytes, sink))
            return false;
        for (u64 k = 0; k < readRecords; k += stride, kept += kBinaryRecordBytes)
            __builtin_memcpy(kept, run + k * kBinaryRecordBytes, kBinaryRecordBytes);
    }
    out->sampled = true;
    out->runs = runs;
    out->keptFraction = f32(taken) / f32(count);
    return true;
}

bool sampleAscii(const ByteSource* source, const SampleBudget* budget, LoadHeap heap, const ReportSink* sink,
                 StlSample* out) {
    u64 runBytes = budget->asciiRunBytes;
    u64 runs = budget->asciiBytes / runBytes;
    u64 size = source->size;
    u8* bytes = static_cast<u8*>(allocateArray(heap, 1, runs * runBytes, sink));
    if (!bytes)
        return false;
    out->bytes = bytes;
    u64 written = 0;
    u64 span = size - runBytes;
    for (u64 i = 0; i < runs; ++i) {
        u64 offset = i * span / (runs - 1);
        u8* run = bytes + written;
        if (!source->read(source->context, offset, run, runBytes, sink))
            return false;
        // The first run keeps the opening line, the last the closing one; the others only
        // their whole facets. A run without one (a long name, a comment) adds nothing.
        u64 first = i == 0 ? 0 : firstFacet(run, runBytes);
        u64 last = i == runs - 1 ? runBytes : afterLastEndfacet(run, runBytes);
        if (last <= first)
            continue;
        __builtin_memmove(run, run + first, last - first);
        ++out->runs;
        written += last - first;
        // A kept "endfacet" is followed by a blank inside the run, so the break fits.
        if (i != runs - 1)
            bytes[written++] = '\n';
    }
    out->size = written;
    out->sampled = true;
    out->keptFraction = f32(f64(written) / f64(size));
    return true;
}

}  // namespace

bool readStlSample(const ByteSource* source, const SampleBudget* budget, LoadHeap heap, const ReportSink* sink,
                   StlSample* out) {
    *out = StlSample{};
    out->keptFraction = 1.0f;
    u64 size = source->size;
    if (size == 0)
        return true;
    u8 head[kSampleHeadBytes] = {};
    u64 headBytes = size < kSampleHeadBytes ? size : kSampleHeadBytes;
    if (!source->read(source->context, 0, head, headBytes, sink))
        return false;
    out->format = detectStlFormat(head, size);
    if (out->format == kFormatBinary) {
        u32 count = loadU32(head + kBinaryHeaderBytes);
        u64 whole = budget->wholeTriangles > budget->triangles ? budget->wholeTriangles : budget->triangles;
        if (count > whole)
            return sampleBinary(source, budget, count, heap, sink, out);
        // Blocks after the first are a rare dialect; past the budget they are left out.
        u64 firstBlock = kBinaryFirstRecord + u64(count) * kBinaryRecordBytes;
        if (size > kBinaryFirstRecord + whole * kBinaryRecordBytes)
            return readFirstBytes(source, firstBlock, heap, sink, out);
    } else if (out->format == kFormatAscii) {
        if (size > (budget->wholeAsciiBytes > budget->asciiBytes ? budget->wholeAsciiBytes : budget->asciiBytes))
            return sampleAscii(source, budget, heap, sink, out);
    } else {
        return true;
    }
    return readFirstBytes(source, size, heap, sink, out);
}

namespace {

f32 squareRoot(f32 value) {
    return _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(value)));
}

// Twice the triangle's area along its normal.
void areaNormal(const GpuVertex* triangle, f32 n[3]) {
    const f32* a = triangle[0].position;
    const f32* b = triangle[1].position;
    const f32* c = triangle[2].position;
    f32 u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    f32 v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    n[0] = u[1] * v[2] - u[2] * v[1];
    n[1] = u[2] * v[0] - u[0] * v[2];
    n[2] = u[0] * v[1] - u[1] * v[0];
}

// The unit normal of `count` triangles' summed area normals, and twice their area across it
// (not the sum of their areas: the bumps of a rough patch cancel); zero when NaN or
// infinite, or when the normals cancel.
f32 patchNormal(const GpuVertex* triangles, u64 count, f32 unit[3]) {
    f32 sum[3] = {0.0f, 0.0f, 0.0f};
    for (u64 t = 0; t < count; ++t) {
        f32 n[3];
        areaNormal(triangles + 3 * t, n);
        for (int i = 0; i < 3; ++i)
            sum[i] += n[i];
    }
    f32 length = squareRoot(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    bool usable = length > 0.0f && length < 1.0e30f;  // NaN fails too
    for (int i = 0; i < 3; ++i)
        unit[i] = usable ? sum[i] / length : 0.0f;
    return usable ? length : 0.0f;
}

f32 triangleCentre(const GpuVertex* triangle, int axis) {
    return (triangle[0].position[axis] + triangle[1].position[axis] + triangle[2].position[axis]) / 3.0f;
}

// The end of the patch that begins at triangle `first`: the triangles that follow it each
// within `reach` of the one before (a run's neighbours; the next run starts far away).
u64 patchEnd(const GpuVertex* vertex, u64 first, u64 triangles, f32 reach) {
    u64 end = first + 1;
    for (; end < triangles; ++end) {
        f32 d[3];
        for (int i = 0; i < 3; ++i)
            d[i] = triangleCentre(vertex + 3 * end, i) - triangleCentre(vertex + 3 * end - 3, i);
        if (!(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] <= reach * reach))
            break;
    }
    return end;
}

}  // namespace

void widenSampledTriangles(PreparedVertices* vertices, const StlSample* sample, u32 pictureSide) {
    f32 kept = sample->keptFraction;
    u64 runs = sample->runs;
    if (!(kept > 0.0f && kept < 1.0f) || pictureSide == 0 || runs == 0)
        return;
    f32 diagonal = 0.0f;
    for (int i = 0; i < 3; ++i) {
        f32 extent = vertices->high[i] - vertices->low[i];
        diagonal += extent > 0.0f && extent < 1.0e18f ? extent * extent : 0.0f;
    }
    f32 pixel = squareRoot(diagonal) / f32(pictureSide);
    GpuVertex* vertex = vertices->vertices;
    u64 triangles = vertices->vertexCount / 3;
    f32 reach = 2.0f * pixel;
    // Each kept triangle stands for its own area over `kept`, the ones left out beside it
    // included. A patch, a band of its length, grown by g on every side covers
    // kWidenCover² times what its triangles stand for. Areas are across the patch's plane,
    // where the bumps of a rough patch cancel, but never under the sample's mean.
    f64 twiceAreas = 0.0;
    for (u64 first = 0, end; first < triangles; first = end) {
        end = patchEnd(vertex, first, triangles, reach);
        f32 unit[3];
        twiceAreas += patchNormal(vertex + 3 * first, end - first, unit);
    }
    f32 square = pixel * pixel;
    // The runs stop growing in number past 256 pixels; the patches grow instead. Below it, a
    // pixel's worth of growth would thicken a small picture's outline by much of its model.
    f32 scale = f32(pictureSide) / 256.0f;
    f32 most = scale > 1.0f ? kWidenMaxPixels * scale : kWidenMaxPixels;
    f32 least = scale < 1.0f ? kWidenPixels * scale : kWidenPixels;
    f32 meanArea = triangles && square > 0.0f ? f32(0.5 * twiceAreas / f64(triangles)) / square : 0.0f;
    for (u64 first = 0, end; first < triangles; first = end) {
        end = patchEnd(vertex, first, triangles, reach);
        f32 normal[3];
        f32 count = f32(end - first);
        f32 area = square > 0.0f ? 0.5f * patchNormal(vertex + 3 * first, end - first, normal) / square : 0.0f;
        area = area > count * meanArea ? area : count * meanArea;
        f32 band = squareRoot(area / count);
        if (pixel > 0.0f) {
            f32 d[3];
            for (int i = 0; i < 3; ++i)
                d[i] = (triangleCentre(vertex + 3 * (end - 1), i) - triangleCentre(vertex + 3 * first, i)) / pixel;
            band += squareRoot(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        }
        f32 sides = band > 0.0f ? band + area / band : 0.0f;
        f32 need = kWidenCover * kWidenCover * area / kept - area;
        f32 grow = need > 0.0f && sides > 0.0f ? 0.25f * (squareRoot(sides * sides + 4.0f * need) - sides) : 0.0f;
        grow = grow < least ? least : grow > most ? most : grow;
        f32 growth = grow * pixel;
        for (GpuVertex* triangle = vertex + 3 * first; triangle != vertex + 3 * end; triangle += 3) {
            f32 centre[3];
            for (int i = 0; i < 3; ++i)
                centre[i] = triangleCentre(triangle, i);
            for (int k = 0; k < 3; ++k) {
                f32* p = triangle[k].position;
                f32 d[3] = {p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
                // Along the patch's plane only (a patch without a normal: the corner's own way).
                f32 across = d[0] * normal[0] + d[1] * normal[1] + d[2] * normal[2];
                for (int i = 0; i < 3; ++i)
                    d[i] -= across * normal[i];
                f32 length = squareRoot(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
                // Corners at the centre, NaN or infinite stay as they are.
                if (!(length > 0.0f) || !(length < 1.0e30f))
                    continue;
                f32 factor = growth / length;
                for (int i = 0; i < 3; ++i)
                    p[i] += d[i] * factor;
            }
        }
    }
}
