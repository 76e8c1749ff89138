#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "render/mesh.h"
#include "stl/binary_reader.h"
#include "stl/provenance.h"
#include "support/sinks.h"
#include "support/stl_bytes.h"

namespace {

BinaryTriangle triangle(std::vector<f32> vertices, std::vector<f32> normal = {0, 0, 0}, u16 attribute = 0) {
    BinaryTriangle t;
    std::copy(vertices.begin(), vertices.end(), t.vertices);
    std::copy(normal.begin(), normal.end(), t.normal);
    t.attribute = attribute;
    return t;
}

// A binary load of the given blocks, prepared for the GPU.
struct Prepared {
    std::vector<u8> file;
    LoadHeap heap = createLoadHeap();
    LoadResult result = {};
    PreparedVertices vertices = {};
    f32 centre[3], size[3];

    Prepared(const std::vector<std::vector<BinaryTriangle>>& blocks, ColourOrder order = kColourNotStated,
             f32 metresPerUnit = kMetresPerMillimetre, StlFormat format = kFormatBinary, bool ownTriangles = false) {
        BinaryStlBuilder builder;
        for (const auto& block : blocks)
            builder.block(block);
        file = builder.bytes();
        EXPECT_TRUE(readBinaryStl(&result.mesh, file.data(), file.size(), heap, nullptr));
        if (ownTriangles)
            result.mesh.fileStart = nullptr;  // as an ASCII mesh's, which two threads may write
        result.format = format;
        result.provenance.colourOrder = order;
        result.provenance.metresPerUnit = metresPerUnit;
        EXPECT_TRUE(prepareVertices(&result, heap, nullptr, &vertices));
        measureBoundingBox(&vertices, result.mesh.solidCount, metresPerUnit, centre, size);
    }
    ~Prepared() { destroyLoadHeap(heap); }

    const GpuVertex& vertex(u64 i) const { return vertices.vertices[i]; }
    std::vector<int> colour(u64 i) const { return {vertex(i).colour[0], vertex(i).colour[1], vertex(i).colour[2], vertex(i).colour[3]}; }
};

const std::vector<f32> kTriangle = {0, 0, 0, 1, 0, 0, 0, 1, 0};

}  // namespace

TEST(Mesh, ColoursByOrder) {
    std::vector<BinaryTriangle> coloured = {triangle(kTriangle, {0, 0, 1}, 0x001F), triangle(kTriangle, {0, 0, 1}, 0x801F),
                                            triangle(kTriangle, {0, 0, 1}, 0x7C00 | 0x0010 << 5)};
    Prepared rgb({coloured}, kColourRgb);
    EXPECT_EQ(rgb.colour(0), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(rgb.colour(2), rgb.colour(0)) << "all three vertices";
    EXPECT_EQ(rgb.colour(3), (std::vector<int>{255, 0, 0, 255})) << "bit 15 is ignored";
    EXPECT_EQ(rgb.colour(6), (std::vector<int>{0, 132, 255, 255})) << "16 expands to 132, 31 to 255";
    EXPECT_EQ(Prepared({coloured}, kColourNotStated).colour(0), (std::vector<int>{255, 0, 0, 255})) << "read as RGB";
    EXPECT_EQ(Prepared({coloured}, kColourBgr, kMetresPerMillimetre, kFormatAscii).colour(0),
              (std::vector<int>{255, 0, 0, 255})) << "an ASCII load takes order 1";

    std::vector<BinaryTriangle> plain = {triangle(kTriangle, {0, 0, 1}, 0), triangle(kTriangle, {0, 0, 1}, 0)};
    EXPECT_EQ(Prepared({plain}, kColourRgb).colour(0), (std::vector<int>{255, 255, 255, 255})) << "no colours: white";
}

TEST(Mesh, StoredOrComputedNormals) {
    Prepared computed({{triangle({0, 0, 0, 2, 0, 0, 0, 2, 0}), triangle({0, 0, 0, 0, 0, 3, 0, 3, 0})}});
    EXPECT_EQ(std::vector<f32>(computed.vertex(0).normal, computed.vertex(0).normal + 3), (std::vector<f32>{0, 0, 1}));
    EXPECT_EQ(std::vector<f32>(computed.vertex(5).normal, computed.vertex(5).normal + 3), (std::vector<f32>{-1, 0, 0}));

    Prepared stored({{triangle(kTriangle, {0, 0, 0}), triangle(kTriangle, {0, 0, 5})}});
    EXPECT_EQ(stored.vertex(0).normal[2], 0.0f) << "a zero stored normal is kept when the solid has normals";
    EXPECT_EQ(stored.vertex(3).normal[2], 5.0f) << "not normalised";

    Prepared degenerate({{triangle({1, 1, 1, 1, 1, 1, 1, 1, 1})}});
    EXPECT_FALSE(std::isfinite(degenerate.vertex(0).normal[0]));
}

TEST(Mesh, DrawRangesAndPositions) {
    Prepared mesh({{triangle(kTriangle), triangle(kTriangle)}, {}, {triangle(kTriangle), triangle(kTriangle), triangle({7, 8, 9, 1, 0, 0, 0, 1, 0})}});
    ASSERT_EQ(mesh.vertices.vertexCount, 15u);
    const GpuDrawRange* r = mesh.vertices.drawRanges;
    EXPECT_EQ((std::vector<u32>{r[0].firstVertex, r[0].triangleCount, r[1].firstVertex, r[1].triangleCount, r[2].firstVertex, r[2].triangleCount}),
              (std::vector<u32>{0, 2, 6, 0, 6, 3}));
    EXPECT_EQ(std::vector<f32>(mesh.vertex(12).position, mesh.vertex(12).position + 3), (std::vector<f32>{7, 8, 9}));
}

// The box itself is checked on the fixtures by the console tool's tests; here, the default
// box of two file units around the origin for a model without extent.
TEST(Mesh, DefaultBoundingBox) {
    auto expectDefault = [](const Prepared& p, f32 unit) {
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(std::make_pair(p.centre[k], p.size[k]), std::make_pair(0.0f, 2.0f * unit)) << k;
    };
    expectDefault(Prepared(std::vector<std::vector<BinaryTriangle>>{{}, {}}), kMetresPerMillimetre);
    expectDefault(Prepared({{triangle({0, 0, 5, 9, 0, 5, 0, 9, 5})}}, kColourNotStated, kMetresPerInch), kMetresPerInch);
    Prepared nanFirst({{triangle({NAN, 0, 0, 9, 9, 9, 1, 1, 1})}}, kColourNotStated, 1.0f);
    EXPECT_EQ(nanFirst.size[0], 8.0f) << "a NaN is replaced by the next vertex";
}

// The box is taken while the vertices are written: it must be the box the design states for
// the written positions, walked in draw order, whatever NaNs and signed zeros it meets.
TEST(Mesh, BoundingBoxEqualsAWalkOverTheWrittenPositions) {
    const f32 values[] = {3, -2, 0.0f, -0.0f, NAN, 7.5f, -INFINITY, 1e30f, -4, 2};
    u32 state = 12345;
    auto next = [&] { return values[(state = state * 1103515245u + 12345u) >> 16 & 7 ? (state >> 20) % 10 : 4]; };
    for (int round = 0; round < 50; ++round) {
        std::vector<std::vector<BinaryTriangle>> blocks(1 + round % 3);
        for (auto& block : blocks) {
            for (int t = round % 5; t > 0; --t) {
                std::vector<f32> v(9);
                for (f32& x : v)
                    x = next();
                block.push_back(triangle(v));
            }
        }
        Prepared mesh(blocks, kColourNotStated, 1.0f);
        f32 low[3] = {INFINITY, INFINITY, INFINITY}, high[3] = {-INFINITY, -INFINITY, -INFINITY};
        for (u64 i = 0; i < mesh.vertices.vertexCount; ++i) {
            for (int k = 0; k < 3; ++k) {
                f32 p = mesh.vertex(i).position[k];
                low[k] = low[k] < p ? low[k] : p;
                high[k] = high[k] > p ? high[k] : p;
            }
        }
        for (int k = 0; k < 3; ++k) {
            u32 expected[2], actual[2];
            f32 e[2] = {low[k], high[k]}, a[2] = {mesh.vertices.low[k], mesh.vertices.high[k]};
            std::memcpy(expected, e, 8);
            std::memcpy(actual, a, 8);
            EXPECT_EQ(actual[0], expected[0]) << "round " << round << " axis " << k;
            EXPECT_EQ(actual[1], expected[1]) << "round " << round << " axis " << k;
        }
    }
}

// Large meshes in the load's own memory are written by two threads, each half with a box of
// its own, joined after:
// the vertices and the box must be those of one walk, wherever NaNs and signed zeros stand.
TEST(Mesh, TwoThreadsWriteWhatOneWould) {
    const size_t kTriangles = 70001;  // above the split, odd, in three blocks
    for (int layout = 0; layout < 4; ++layout) {
        std::vector<std::vector<BinaryTriangle>> blocks(3);
        for (size_t t = 0; t < kTriangles; ++t) {
            f32 s = f32(t % 997) - 500.0f;
            std::vector<f32> v = {s, -s, 0.5f * s, s + 1, 2 * s, -0.0f, 0.0f, s - 3, s * s};
            // NaNs: none, early only, late only, early and late.
            if ((layout & 1) && t == 100)
                v[0] = NAN;
            if ((layout & 2) && t == kTriangles - 50)
                v[4] = NAN;
            if ((layout & 2) && t == kTriangles - 40)
                v[8] = NAN;
            blocks[t < 20000 ? 0 : t < 20001 ? 1 : 2].push_back(triangle(v, {0, 0, 1}, u16(t)));
        }
        Prepared mesh(blocks, kColourRgb, 1.0f, kFormatBinary, true);
        ASSERT_EQ(mesh.vertices.vertexCount, 3 * kTriangles);
        f32 low[3] = {INFINITY, INFINITY, INFINITY}, high[3] = {-INFINITY, -INFINITY, -INFINITY};
        u64 i = 0;
        for (const auto& block : blocks) {
            for (const BinaryTriangle& t : block) {
                for (int corner = 0; corner < 3; ++corner, ++i) {
                    ASSERT_EQ(0, std::memcmp(mesh.vertex(i).position, t.vertices + 3 * corner, 12)) << "vertex " << i;
                    ASSERT_EQ(mesh.colour(i)[0], (t.attribute & 31) * 8 + (t.attribute & 31) / 4) << "vertex " << i;
                    for (int k = 0; k < 3; ++k) {
                        f32 p = t.vertices[3 * corner + k];
                        low[k] = low[k] < p ? low[k] : p;
                        high[k] = high[k] > p ? high[k] : p;
                    }
                }
            }
        }
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(0, std::memcmp(&mesh.vertices.low[k], &low[k], 4)) << "layout " << layout << " axis " << k;
            EXPECT_EQ(0, std::memcmp(&mesh.vertices.high[k], &high[k], 4)) << "layout " << layout << " axis " << k;
        }
    }
}
