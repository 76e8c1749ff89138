#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "stl/detect.h"
#include "stl/sampler.h"
#include "support/sinks.h"
#include "support/stl_bytes.h"

namespace {

// Small budgets, so that files of a few kilobytes take the sampling paths.
const SampleBudget kSmall = {40, 8, 4000, 1000};

// Bytes in memory as a source; a read outside them fails.
struct MemorySource {
    std::vector<u8> bytes;
    ByteSource source() {
        return {this,
                [](void* context, u64 offset, u8* out, u64 length, const ReportSink* sink) {
                    MemorySource* self = static_cast<MemorySource*>(context);
                    if (offset + length > self->bytes.size()) {
                        report(sink, kErrorText, uptr("read failed"));
                        return false;
                    }
                    std::memcpy(out, self->bytes.data() + offset, length);
                    return true;
                },
                bytes.size()};
    }
};

// A binary file whose record i has i in its first vertex's x.
std::vector<u8> numberedBinary(u32 count, const std::string& header = "numbered") {
    std::vector<BinaryTriangle> triangles(count);
    for (u32 i = 0; i < count; ++i)
        triangles[i].vertices[0] = f32(i);
    return BinaryStlBuilder(header).block(triangles).bytes();
}

// An ASCII file of `count` facets whose facet i has i in its first vertex's x.
std::vector<u8> numberedAscii(u32 count) {
    std::string text = "solid numbered\n";
    for (u32 i = 0; i < count; ++i)
        text += "  facet normal 0 0 1\n    outer loop\n      vertex " + std::to_string(i) +
                " 0 0\n      vertex 1 0 0\n      vertex 0 1 0\n    endloop\n  endfacet\n";
    text += "endsolid numbered\n";
    return std::vector<u8>(text.begin(), text.end());
}

struct Sampled {
    bool ok = false;
    StlSample sample = {};
    LoadResult result = {};
    std::vector<Recorded> reports;
    std::vector<f32> firstXs;  // each loaded triangle's first vertex's x
};

Sampled sampleOf(MemorySource& memory, const SampleBudget& budget) {
    Sampled out;
    LoadHeap heap = createLoadHeap();
    RecordingSink recorder;
    ByteSource source = memory.source();
    out.ok = readStlSample(&source, &budget, heap, &recorder.sink, &out.sample);
    if (out.ok && out.sample.format != kFormatUnknown &&
        parseStl(&out.result, out.sample.format, out.sample.bytes, out.sample.bytes + out.sample.size, heap,
                 &recorder.sink))
        for (u32 s = 0; s < out.result.mesh.solidCount; ++s)
            for (u32 t = 0; t < out.result.mesh.solids[s].triangleCount; ++t) {
                StlTriangle triangle;
                std::memcpy(&triangle, &out.result.mesh.solids[s].triangles[t], sizeof triangle);
                out.firstXs.push_back(triangle.vertices[0].x);
            }
    out.reports = recorder.reports;
    destroyLoadHeap(heap);
    out.sample.bytes = nullptr;
    return out;
}

bool anyError(const std::vector<Recorded>& reports) {
    return std::any_of(reports.begin(), reports.end(), [](const Recorded& r) { return isErrorCode(r.code); });
}

}  // namespace

// Within the budget the file is read whole; past it, evenly spread runs that the readers
// load as they load the whole, first and last records included.
TEST(Sampler, TakesTheWholeFileOrEvenlySpreadRuns) {
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        StlFormat format;
        bool sampled;
        size_t triangles;  // loaded from the sample
        u64 stride;        // of the binary runs
        u64 whole;         // triangles or ASCII bytes read whole
    } cases[] = {
        {"small binary", numberedBinary(40), kFormatBinary, false, 40},
        {"large binary", numberedBinary(1000), kFormatBinary, true, 40},
        {"large binary, strided runs", numberedBinary(1000), kFormatBinary, true, 40, 4},
        {"binary read whole past the sample", numberedBinary(1000), kFormatBinary, false, 1000, 1, 1000},
        // Blocks after the first are a rare dialect: past the budget only the first is read.
        {"binary with bytes after its records",
         [] { std::vector<u8> b = numberedBinary(10); b.resize(b.size() + 5000); return b; }(), kFormatBinary,
         false, 10},
        {"small ascii", numberedAscii(20), kFormatAscii, false, 20},
        {"large ascii", numberedAscii(400), kFormatAscii, true, 0},
        {"ascii read whole past the sample", numberedAscii(400), kFormatAscii, false, 400, 1, 100000},
        {"not stl", std::vector<u8>(3000, 'x'), kFormatUnknown, false, 0},
        {"empty", {}, kFormatUnknown, false, 0},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource memory{c.bytes};
        SampleBudget budget = kSmall;
        budget.runStride = c.stride;
        (c.format == kFormatBinary ? budget.wholeTriangles : budget.wholeAsciiBytes) = c.whole;
        Sampled s = sampleOf(memory, budget);
        ASSERT_TRUE(s.ok);
        EXPECT_EQ(s.sample.format, c.format);
        EXPECT_EQ(s.sample.sampled, c.sampled);
        EXPECT_FALSE(anyError(s.reports));
        if (c.format == kFormatUnknown)
            continue;
        if (c.triangles)
            EXPECT_EQ(s.firstXs.size(), c.triangles);
        u32 total = c.format == kFormatBinary ? loadU32(c.bytes.data() + 80) : 400;
        if (!c.sampled) {
            EXPECT_EQ(s.sample.size, c.format == kFormatBinary ? 84 + 50 * total : c.bytes.size());
            EXPECT_EQ(s.sample.keptFraction, 1.0f);
            continue;
        }
        // The first and the last triangle (within a stride), in increasing order, without a
        // large hole.
        ASSERT_GE(s.firstXs.size(), 4u);
        EXPECT_EQ(s.firstXs.front(), 0.0f);
        EXPECT_NEAR(s.firstXs.back(), f32(total - 1), f32(c.stride));
        f32 widest = 0;
        for (size_t i = 1; i < s.firstXs.size(); ++i) {
            ASSERT_GT(s.firstXs[i], s.firstXs[i - 1]);
            widest = std::max(widest, s.firstXs[i] - s.firstXs[i - 1]);
        }
        EXPECT_LT(widest, f32(total) / 3.0f);  // at least four runs, spread
        EXPECT_NEAR(s.sample.keptFraction, f32(s.firstXs.size()) / f32(total), 0.1f);
    }
}

// On a rough patch the corners move along the patch, not along their own triangle: a
// steep triangle standing among flat ones (all within a pixel of each other) grows far less
// upwards than the growth, which its own plane would have taken whole.
TEST(Sampler, WideningFollowsThePatchNotItsTriangles) {
    std::vector<GpuVertex> patch(27);
    const f32 corners[9][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                               {0, 0, 0}, {0.5f, 0, 1}, {1, 0, 0}};
    for (int k = 0; k < 27; ++k)  // the two flat triangles four times, then the steep one
        std::memcpy(patch[k].position, corners[k < 24 ? k % 6 : k - 18], sizeof corners[0]);
    PreparedVertices vertices = {patch.data(), 27, nullptr, {-100, -100, 0}, {100, 100, 1}};
    StlSample sample = {};
    sample.keptFraction = 0.001f;
    sample.runs = 1;
    widenSampledTriangles(&vertices, &sample, 100);
    f32 growth = kWidenMaxPixels * std::sqrt(200.0f * 200.0f * 2 + 1) / 100;
    for (const GpuVertex& vertex : patch)
        EXPECT_LT(vertex.position[2], 1.0f + 0.2f * growth);
    EXPECT_GT(std::hypot(patch[0].position[0], patch[0].position[1]), 0.5f * growth);  // widened all the same
}
