#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "stl/binary_reader.h"
#include "support/sinks.h"
#include "support/stl_bytes.h"

namespace {

// The bytes live in an exact-size heap copy, so that a read past the end is caught by
// the sanitizers in the native build.
struct BinaryRead {
    std::unique_ptr<u8[]> file;
    u64 size = 0;
    LoadHeap heap = createLoadHeap();
    StlMesh mesh = {};
    RecordingSink recorder;
    bool ok = false;

    explicit BinaryRead(const std::vector<u8>& bytes, bool answer = true) : file(new u8[bytes.size()]), size(bytes.size()) {
        std::copy(bytes.begin(), bytes.end(), file.get());
        recorder.answer = answer;
        ok = readBinaryStl(&mesh, file.get(), size, heap, &recorder.sink);
    }
    ~BinaryRead() { destroyLoadHeap(heap); }

    const StlSolid& solid(u32 i) const { return mesh.solids[i]; }
};

BinaryTriangle withNormal(f32 x, f32 y, f32 z) {
    BinaryTriangle t;
    t.normal[0] = x;
    t.normal[1] = y;
    t.normal[2] = z;
    return t;
}

BinaryTriangle withAttribute(u16 word) {
    BinaryTriangle t;
    t.attribute = word;
    return t;
}

}  // namespace

TEST(BinaryReader, EmptyFileIsOneEmptySolid) {
    BinaryRead read(BinaryStlBuilder().count(0).bytes());
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(+(read.mesh.fileStart), read.file.get());
    ASSERT_EQ(+(read.mesh.solidCount), 1u);
    EXPECT_EQ(+(read.solid(0).triangleCount), 0u);
    EXPECT_EQ(+(read.solid(0).hasNormals), 0);
    EXPECT_EQ(+(read.solid(0).hasColours), 0);
    EXPECT_EQ(+(read.solid(0).name.length), 0u);
    EXPECT_EQ(+(read.solid(0).name.codePage), 0u);
    EXPECT_TRUE(read.recorder.reports.empty());
}

TEST(BinaryReader, SolidsPointIntoTheFileBlockByBlock) {
    BinaryTriangle first;
    first.vertices[0] = 1.5f;
    BinaryRead read(BinaryStlBuilder().count(2).triangle(first).triangle(first).block(1).bytes());
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(+(read.mesh.solidCount), 2u);
    EXPECT_EQ(+(read.solid(0).triangleCount), 2u);
    EXPECT_EQ(reinterpret_cast<const u8*>(read.solid(0).triangles), read.file.get() + 84);
    EXPECT_EQ(+(read.solid(0).triangles[1].vertices[0].x), 1.5f);
    EXPECT_EQ(+(read.solid(1).triangleCount), 1u);
    EXPECT_EQ(reinterpret_cast<const u8*>(read.solid(1).triangles), read.file.get() + 84 + 100 + 4);
}

TEST(BinaryReader, TrailingBytes) {
    for (const char* tail : {"x", "xy", "xyz"}) {
        BinaryRead read(BinaryStlBuilder().block(1).raw(tail).bytes());
        ASSERT_TRUE(read.ok) << tail;
        EXPECT_EQ(+(read.mesh.solidCount), 1u) << "one to three trailing bytes are ignored";
    }
    BinaryRead zeros(BinaryStlBuilder().block(1).count(0).bytes());
    ASSERT_TRUE(zeros.ok);
    ASSERT_EQ(+(zeros.mesh.solidCount), 2u);
    EXPECT_EQ(+(zeros.solid(1).triangleCount), 0u);

    // Four trailing bytes that read as a count larger than what follows, and a partial
    // second block: both fail the whole load, and nothing of the mesh is left.
    for (const auto& file : {BinaryStlBuilder().block(1).raw("text").bytes(),
                             BinaryStlBuilder().block(1).count(2).triangle(BinaryTriangle()).raw("abc").bytes()}) {
        BinaryRead read(file);
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.recorder.codes(), std::vector<ResultCode>{kEndOfFileInTriangles});
        EXPECT_EQ(+(read.mesh.solids), nullptr);
        EXPECT_EQ(+(read.mesh.solidCount), 0u);
    }
}

TEST(BinaryReader, OversizedFirstCountIsAnErrorNotARead) {
    std::vector<u8> file = BinaryStlBuilder().count(0xFFFFFFFF).triangle(BinaryTriangle()).bytes();
    BinaryRead read(file);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.recorder.codes(), std::vector<ResultCode>{kEndOfFileInTriangles});
}

// A megabyte of zero bytes after the first block is a quarter of a million empty blocks;
// they must read in linear time.
TEST(BinaryReader, ManyEmptyBlocks) {
    std::vector<u8> file = BinaryStlBuilder().block(1).bytes();
    file.resize(file.size() + (1u << 20), 0);
    BinaryRead read(file);
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(+(read.mesh.solidCount), 1u + (1u << 18));
    EXPECT_EQ(reinterpret_cast<const u8*>(read.solid(1u << 18).triangles), read.file.get() + file.size());
}

TEST(BinaryReader, NormalsFlag) {
    auto flag = [](std::vector<BinaryTriangle> triangles) {
        BinaryStlBuilder builder;
        builder.count(u32(triangles.size()));
        for (const BinaryTriangle& t : triangles)
            builder.triangle(t);
        BinaryRead read(builder.bytes());
        EXPECT_TRUE(read.ok);
        return read.solid(0).hasNormals;
    };
    EXPECT_EQ(flag({withNormal(0, 0, 0), withNormal(0, -0.0f, 0)}), 0) << "-0 equals 0";
    EXPECT_EQ(flag({withNormal(0, -0.0f, NAN)}), 1) << "NaN is not equal to 0";
    EXPECT_EQ(flag({withNormal(0, 0, 0), withNormal(0, 0, 0), withNormal(0, 1e-30f, 0)}), 1) << "a later record counts";
}

TEST(BinaryReader, ColoursFlagIgnoresBit15) {
    auto flag = [](std::vector<u16> words) {
        BinaryStlBuilder builder;
        builder.count(u32(words.size()));
        for (u16 w : words)
            builder.triangle(withAttribute(w));
        BinaryRead read(builder.bytes());
        EXPECT_TRUE(read.ok);
        return read.solid(0).hasColours;
    };
    EXPECT_EQ(flag({0, 0, 0}), 0);
    EXPECT_EQ(flag({0x8000, 0x8000}), 0);
    EXPECT_EQ(flag({0x7FFF, 0x7FFF}), 0);
    EXPECT_EQ(flag({0xFFFF, 0x7FFF}), 0);
    EXPECT_EQ(flag({0x8000, 0x7FFF}), 1);
    EXPECT_EQ(flag({0, 0, 0x001F}), 1);
    EXPECT_EQ(flag({0x7C00}), 1);

    BinaryRead two(BinaryStlBuilder().block(2, withAttribute(0x1234)).block(2).bytes());
    EXPECT_EQ(+(two.solid(0).hasColours), 1);
    EXPECT_EQ(+(two.solid(1).hasColours), 0) << "each block decides for itself";
}

TEST(BinaryReader, ProgressPerBlockIgnoringTheAnswer) {
    auto values = [](u32 first, u32 count) {
        std::vector<uptr> v;
        for (u32 i = 0; i < count; ++i)
            v.push_back(first + i);
        return v;
    };
    BinaryRead ten(BinaryStlBuilder().block(10).bytes(), /*answer=*/false);
    ASSERT_TRUE(ten.ok) << "the binary reader does not stop on a false answer";
    EXPECT_EQ(ten.recorder.progress(), values(0, 10));

    BinaryRead many(BinaryStlBuilder().block(2500).block(3).bytes());
    ASSERT_TRUE(many.ok);
    std::vector<uptr> expected = values(0, 834);  // a step of 3: records 0, 3, ..., 2499
    for (uptr v : values(0, 3))
        expected.push_back(v);
    EXPECT_EQ(many.recorder.progress(), expected);

    BinaryRead large(BinaryStlBuilder().block(4000).bytes());
    EXPECT_EQ(large.recorder.progress().size(), 800u) << "step 5";
    EXPECT_EQ(large.recorder.progress().back(), 799u);
}

TEST(BinaryReader, WorksWithoutASink) {
    std::vector<u8> file = BinaryStlBuilder().block(3).raw("tail").bytes();
    LoadHeap heap = createLoadHeap();
    StlMesh mesh = {};
    EXPECT_FALSE(readBinaryStl(&mesh, file.data(), file.size(), heap, nullptr));
    file.resize(file.size() - 4);
    EXPECT_TRUE(readBinaryStl(&mesh, file.data(), file.size(), heap, nullptr));
    EXPECT_EQ(+(mesh.solids[0].triangleCount), 3u);
    destroyLoadHeap(heap);
}
