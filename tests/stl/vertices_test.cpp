#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "stl/vertices.h"
#include "stl/binary_reader.h"
#include "stl/provenance.h"
#include "support/stl_bytes.h"

namespace {

typedef std::vector<std::vector<BinaryTriangle>> Blocks;

// A binary load of the given blocks, prepared for the GPU.
struct Prepared {
    std::vector<u8> file;
    LoadHeap heap = createLoadHeap();
    LoadResult result = {};
    PreparedVertices vertices = {};
    f32 centre[3], size[3];

    Prepared(const Blocks& blocks, ColourOrder order = kColourNotStated, f32 metresPerUnit = kMetresPerMillimetre) {
        BinaryStlBuilder builder;
        for (const auto& block : blocks)
            builder.block(block);
        file = builder.bytes();
        EXPECT_TRUE(readBinaryStl(&result.mesh, file.data(), file.size(), heap, nullptr));
        result.format = kFormatBinary;
        result.provenance.colourOrder = order;
        EXPECT_TRUE(prepareVertices(&result, heap, nullptr, &vertices));
        measureBoundingBox(&vertices, result.mesh.solidCount, metresPerUnit, centre, size);
    }
    ~Prepared() { destroyLoadHeap(heap); }

    const GpuVertex& vertex(u64 i) const { return vertices.vertices[i]; }
    std::vector<int> colour(u64 i) const { return {vertex(i).colour[0], vertex(i).colour[1], vertex(i).colour[2], vertex(i).colour[3]}; }
};

// The vertices are the blocks' corners in draw order, a range per solid, colours from the
// five-bit fields of a coloured solid's words in the stated order, bit 15 ignored (opaque
// white without colours); the box is the one a walk
// over them leaves, where a NaN box takes the next position and a NaN position is taken.
void expectOneWalk(const Prepared& mesh, const Blocks& blocks) {
    f32 low[3] = {INFINITY, INFINITY, INFINITY}, high[3] = {-INFINITY, -INFINITY, -INFINITY};
    u64 i = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        ASSERT_EQ(mesh.vertices.drawRanges[b].firstVertex, i);
        ASSERT_EQ(mesh.vertices.drawRanges[b].triangleCount, blocks[b].size());
        for (const BinaryTriangle& t : blocks[b])
            for (int corner = 0; corner < 3; ++corner, ++i) {
                ASSERT_EQ(0, std::memcmp(mesh.vertex(i).position, t.vertices + 3 * corner, 12)) << "vertex " << i;
                int fives[3] = {t.attribute & 31, t.attribute >> 5 & 31, t.attribute >> 10 & 31}, bgr = mesh.result.provenance.colourOrder == kColourBgr;
                std::vector<int> colour = {255, 255, 255, 255};
                for (int k = 0; k < 3 && mesh.result.mesh.solids[b].hasColours; ++k)
                    colour[k] = fives[bgr ? 2 - k : k] * 8 + fives[bgr ? 2 - k : k] / 4;
                ASSERT_EQ(mesh.colour(i), colour) << "vertex " << i;
                for (int k = 0; k < 3; ++k) {
                    f32 p = t.vertices[3 * corner + k];
                    low[k] = low[k] < p ? low[k] : p;
                    high[k] = high[k] > p ? high[k] : p;
                }
            }
    }
    ASSERT_EQ(mesh.vertices.vertexCount, i);
    EXPECT_EQ(0, std::memcmp(mesh.vertices.low, low, 12)) << "the low corner";
    EXPECT_EQ(0, std::memcmp(mesh.vertices.high, high, 12)) << "the high corner";
}

}  // namespace

TEST(Mesh, StoredOrComputedNormals) {
    Prepared computed({{BinaryTriangle({0, 0, 0, 2, 0, 0, 0, 2, 0}), BinaryTriangle({0, 0, 0, 0, 0, 3, 0, 3, 0})}});
    EXPECT_EQ(std::vector<f32>(computed.vertex(0).normal, computed.vertex(0).normal + 3), (std::vector<f32>{0, 0, 1}));
    EXPECT_EQ(std::vector<f32>(computed.vertex(5).normal, computed.vertex(5).normal + 3), (std::vector<f32>{-1, 0, 0}));

    Prepared stored({{BinaryTriangle({}, {0, 0, 0}), BinaryTriangle({}, {0, 0, 5})}});
    EXPECT_EQ(stored.vertex(0).normal[2], 0.0f) << "a zero stored normal is kept when the solid has normals";
    EXPECT_EQ(stored.vertex(3).normal[2], 5.0f) << "not normalised";
}

// The box is taken while the vertices are written, by one thread for small meshes: solids
// of none to four triangles, coloured (in either order) or not, with NaNs, infinities and signed zeros.
TEST(Mesh, SmallMeshesWriteOneWalk) {
    const f32 values[] = {3, -2, 0.0f, -0.0f, NAN, 7.5f, -INFINITY, 1e30f, -4, 2};
    u32 state = 12345;
    auto next = [&] { return (state = state * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 50; ++round) {
        Blocks blocks(1 + round % 3);
        for (size_t b = 0; b < blocks.size(); ++b)
            for (size_t t = (round + b) % 5; t > 0; --t) {
                std::vector<f32> v(9);
                for (f32& x : v)
                    x = values[next() & 7 ? (state >> 20) % 10 : 4];
                blocks[b].push_back(BinaryTriangle(v, {0, 0, 0}, round % 2 ? u16(next()) : 0));
            }
        SCOPED_TRACE(round);
        expectOneWalk(Prepared(blocks, round % 4 == 1 ? kColourBgr : kColourNotStated, 1.0f), blocks);
    }
}

// Large meshes are written by two threads, each half with a box of
// its own, joined after: the vertices and the box must be those of one walk, wherever NaNs
// and signed zeros stand.
TEST(Mesh, TwoThreadsWriteWhatOneWould) {
    const size_t kTriangles = 70001;  // above the split, odd, in three blocks
    for (int layout = 0; layout < 4; ++layout) {
        Blocks blocks(3);
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
            blocks[t < 20000 ? 0 : t < 20001 ? 1 : 2].push_back(BinaryTriangle(v, {0, 0, 1}, u16(t)));
        }
        SCOPED_TRACE(layout);
        expectOneWalk(Prepared(blocks, kColourRgb, 1.0f), blocks);
    }
}
