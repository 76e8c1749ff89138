#include <gtest/gtest.h>

#include <cmath>

#include "stl/binary_reader.h"
#include "support/mesh_read.h"

namespace {

using BinaryRead = MeshRead<readBinaryStl>;

u64 offsetOf(const BinaryRead& read, u32 i) {
    return u64(reinterpret_cast<const u8*>(read.solid(i).triangles) - read.file.begin());
}

BinaryTriangle with(std::vector<f32> normal, u16 attribute = 0) {
    BinaryTriangle t;
    std::copy(normal.begin(), normal.end(), t.normal);
    t.attribute = attribute;
    return t;
}

}  // namespace

// Each block is a solid that points into the file; one to three trailing bytes are no block,
// four zero bytes are an empty one.
TEST(BinaryReader, SolidsPointIntoTheFileBlockByBlock) {
    BinaryTriangle first;
    first.vertices[0] = 1.5f;
    BinaryRead read(BinaryStlBuilder().block(2, first).block(1).count(0).raw("xyz"));
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(+(read.mesh.fileStart), read.file.begin());
    ASSERT_EQ(+(read.mesh.solidCount), 3u);
    EXPECT_EQ((std::vector<u64>{read.solid(0).triangleCount, read.solid(1).triangleCount, read.solid(2).triangleCount}),
              (std::vector<u64>{2, 1, 0}));
    EXPECT_EQ((std::vector<u64>{offsetOf(read, 0), offsetOf(read, 1), offsetOf(read, 2)}),
              (std::vector<u64>{kBinaryFirstRecord, kBinaryFirstRecord + 2 * kBinaryRecordBytes + 4, kBinaryFirstRecord + 3 * kBinaryRecordBytes + 8}));
    EXPECT_EQ(+(read.solid(0).triangles[1].vertices[0].x), 1.5f);
    EXPECT_EQ(+(read.solid(2).name.length), 0u);
    EXPECT_EQ(read.recorder.codes(), std::vector<ResultCode>{});
}

// A later count larger than what follows, or a partial block, fails the whole load and
// leaves nothing of the mesh; so does the first count, for a caller that did not check it.
TEST(BinaryReader, BlocksRunningPastTheEnd) {
    for (const BinaryStlBuilder& file : {BinaryStlBuilder().block(1).raw("text"), BinaryStlBuilder().block(1).count(2).triangle({}).raw("abc"),
                                         BinaryStlBuilder().count(0xFFFFFFFF).triangle({})}) {
        BinaryRead read(file);
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.recorder.codes(), std::vector<ResultCode>{kEndOfFileInTriangles});
    }
    std::vector<u8> file = BinaryStlBuilder().block(3).raw("tail").bytes();
    LoadHeap heap = createLoadHeap();
    StlMesh mesh = {};
    EXPECT_FALSE(readBinaryStl(&mesh, file.data(), file.size(), heap, nullptr)) << "and without a sink";
    destroyLoadHeap(heap);
}

// A megabyte of zero bytes after the first block is a quarter of a million empty blocks;
// they must read in linear time.
TEST(BinaryReader, ManyEmptyBlocks) {
    BinaryRead read(BinaryStlBuilder().block(1).raw(std::string(1u << 20, '\0')));
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(+(read.mesh.solidCount), 1u + (1u << 18));
    EXPECT_EQ(offsetOf(read, 1u << 18), read.file.size);
}

TEST(BinaryReader, NormalsAndColoursFlags) {
    auto flags = [](const std::vector<BinaryTriangle>& triangles) {
        BinaryRead read(BinaryStlBuilder().block(triangles));
        EXPECT_TRUE(read.ok);
        return std::make_pair(int(read.solid(0).hasNormals), int(read.solid(0).hasColours));
    };
    EXPECT_EQ(flags({with({0, 0, 0}), with({0, -0.0f, 0})}).first, 0) << "-0 equals 0";
    EXPECT_EQ(flags({with({0, -0.0f, NAN})}).first, 1) << "NaN is not equal to 0";
    EXPECT_EQ(flags({with({0, 0, 0}), with({0, 0, 0}), with({0, 1e-30f, 0})}).first, 1) << "a later record counts";
    // Bits 0..14 carry a colour unless every record holds 0 or every one 0x7FFF; bit 15 plays no part.
    const std::pair<std::vector<u16>, int> words[] = {
        {{0, 0, 0}, 0}, {{0x8000, 0x8000}, 0}, {{0x7FFF, 0x7FFF}, 0}, {{0xFFFF, 0x7FFF}, 0},
        {{0x8000, 0x7FFF}, 1}, {{0, 0, 0x001F}, 1}, {{0x7C00}, 1},
    };
    for (const auto& [attributes, coloured] : words) {
        std::vector<BinaryTriangle> triangles;
        for (u16 word : attributes)
            triangles.push_back(with({0, 0, 1}, word));
        EXPECT_EQ(flags(triangles).second, coloured) << std::hex << attributes[0];
    }
    BinaryRead two(BinaryStlBuilder().block(2, with({0, 0, 1}, 0x1234)).block(2));
    EXPECT_EQ(+(two.solid(1).hasColours), 0) << "each block decides for itself";
}

// Per block, progress counts from 0 up to at most 999, one at a time, and a stop is ignored.
TEST(BinaryReader, ProgressPerBlockIgnoringTheAnswer) {
    BinaryRead read(BinaryStlBuilder().block(10).block(2500).block(4000), /*answer=*/false);
    ASSERT_TRUE(read.ok) << "the binary reader does not stop on a false answer";
    std::vector<uptr> values = read.recorder.progress();
    std::vector<size_t> starts;
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] == 0)
            starts.push_back(i);
        else
            ASSERT_EQ(values[i], values[i - 1] + 1) << i;
        ASSERT_LT(values[i], 1000u);
    }
    ASSERT_EQ(starts.size(), 3u) << "a series per block";
    EXPECT_EQ(starts[1], 10u) << "a small block: a report per record";
    EXPECT_GT(values.back(), 500u) << "a large one: most of the thousand";
}
