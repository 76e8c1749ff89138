#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "stl/detect.h"
#include "support/sinks.h"
#include "support/stl_bytes.h"

namespace {

StlFormat detect(const std::string& bytes) {
    std::unique_ptr<u8[]> copy(new u8[bytes.size() + 1]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    return detectStlFormat(copy.get(), bytes.size());
}

StlFormat detect(const std::vector<u8>& bytes) {
    return detect(std::string(bytes.begin(), bytes.end()));
}

BinaryTriangle withVertexBits(u32 bits) {
    BinaryTriangle t;
    std::memcpy(&t.vertices[4], &bits, 4);
    return t;
}

}  // namespace

TEST(Detect, BinarySizesAndCounts) {
    EXPECT_EQ(detect(BinaryStlBuilder().count(0).bytes()), kFormatBinary) << "84 bytes, count 0";
    EXPECT_EQ(detect(BinaryStlBuilder().count(0).raw("x").bytes()), kFormatUnknown) << "85 bytes: odd";
    EXPECT_EQ(detect(BinaryStlBuilder().count(0).raw("xy").bytes()), kFormatUnknown) << "86 bytes, count 0";
    EXPECT_EQ(detect(BinaryStlBuilder().block(1).bytes()), kFormatBinary) << "134 bytes";
    EXPECT_EQ(detect(BinaryStlBuilder().block(1).raw("xy").bytes()), kFormatBinary) << "136 bytes";
    EXPECT_EQ(detect(BinaryStlBuilder().block(1).raw("x").bytes()), kFormatUnknown) << "135 bytes";
    std::vector<u8> short132 = BinaryStlBuilder().block(1).bytes();
    short132.resize(132);
    EXPECT_EQ(detect(short132), kFormatUnknown) << "132 bytes";
    EXPECT_EQ(detect(BinaryStlBuilder().count(0xFFFFFFFF).block(1).bytes()), kFormatUnknown) << "a count beyond the file";
}

TEST(Detect, PlausibleCoordinates) {
    EXPECT_EQ(detect(BinaryStlBuilder().count(1).triangle(withVertexBits(0x00000001)).bytes()), kFormatUnknown);
    EXPECT_EQ(detect(BinaryStlBuilder().count(1).triangle(withVertexBits(0x80800027)).bytes()), kFormatUnknown);
    EXPECT_EQ(detect(BinaryStlBuilder().count(1).triangle(withVertexBits(0x00800028)).bytes()), kFormatBinary);
    for (u32 bits : {0x00000000u, 0x80000000u, 0x7F800000u, 0xFFC00000u, 0x3F800000u})
        EXPECT_EQ(detect(BinaryStlBuilder().count(1).triangle(withVertexBits(bits)).bytes()), kFormatBinary) << std::hex << bits;
    BinaryTriangle tinyNormal;
    tinyNormal.normal[0] = 1e-40f;
    EXPECT_EQ(detect(BinaryStlBuilder().count(1).triangle(tinyNormal).bytes()), kFormatBinary) << "normals are not examined";

    // Only the first four records are examined.
    BinaryStlBuilder fifth;
    fifth.count(5);
    for (int i = 0; i < 4; ++i)
        fifth.triangle(BinaryTriangle());
    fifth.triangle(withVertexBits(1));
    EXPECT_EQ(detect(fifth.bytes()), kFormatBinary);
    BinaryStlBuilder fourth;
    fourth.count(5);
    for (int i = 0; i < 3; ++i)
        fourth.triangle(BinaryTriangle());
    fourth.triangle(withVertexBits(1)).triangle(BinaryTriangle());
    EXPECT_EQ(detect(fourth.bytes()), kFormatUnknown);
}

TEST(Detect, BinaryBeforeAscii) {
    EXPECT_EQ(detect(BinaryStlBuilder("solid binary part").block(2).bytes()), kFormatBinary);
}

TEST(Detect, AsciiText) {
    EXPECT_EQ(detect(std::string("solid x\nendsolid x\n")), kFormatAscii);
    EXPECT_EQ(detect(std::string("    solid x\nendsolid x\n")), kFormatAscii) << "four blanks before";
    EXPECT_EQ(detect(std::string("     solid x\nendsolid x\n")), kFormatUnknown) << "five blanks before";
    EXPECT_EQ(detect(std::string("\r\n\t solid\tx\nendsolid x\n")), kFormatAscii);
    for (const char* after : {"\f", "\v", "w", "s"})
        EXPECT_EQ(detect("solid" + std::string(after) + "orks x\nendsolid\n"), kFormatUnknown) << int(after[0]);
    EXPECT_EQ(detect(std::string("solid x\nendsoli")), kFormatUnknown) << "15 bytes";
    EXPECT_EQ(detect(std::string("solid x\nendsolid")), kFormatAscii) << "16 bytes";
    EXPECT_EQ(detect(std::string("solid caf\xC3\xA9 \x80\xFF\nendsolid\n")), kFormatAscii) << "high bytes are text";

    std::string withNul = "solid x\n" + std::string(200, ' ') + std::string(1, '\0') + "\nendsolid x\n";
    EXPECT_EQ(detect(withNul), kFormatUnknown);
    std::string lateNul = "solid x\n" + std::string(300, ' ') + std::string(1, '\0') + "\nendsolid x\n";
    EXPECT_EQ(detect(lateNul), kFormatAscii) << "only the first 256 bytes count";
    EXPECT_EQ(detect(std::string("SOLID x\nendsolid x\n")), kFormatUnknown);
    EXPECT_EQ(detect(std::string("")), kFormatUnknown);
}

TEST(Detect, ParseDispatchesAndFillsTheResult) {
    std::vector<u8> binary = BinaryStlBuilder("STLB ASM 218").block(3).bytes();
    LoadHeap heap = createLoadHeap();
    LoadResult result = {};
    TranslatingSink chain;
    ASSERT_TRUE(parseStl(&result, kFormatUnknown, binary.data(), binary.data() + binary.size(), heap, &chain.sink));
    EXPECT_EQ(result.format, kFormatBinary);
    EXPECT_EQ(+(result.mesh.solids[0].triangleCount), 3u);
    EXPECT_EQ(result.provenance.coordinateSpace, kSpaceYUp);
    EXPECT_EQ(chain.recorder.lines().at(0), u"STL info: written by Autodesk Inventor 2012");

    result.format = 77;
    std::string text = "not an STL file at all";
    EXPECT_FALSE(parseStl(&result, kFormatUnknown, reinterpret_cast<const u8*>(text.data()),
                          reinterpret_cast<const u8*>(text.data()) + text.size(), heap, &chain.sink));
    EXPECT_EQ(result.format, 77u) << "left as it was";

    std::string broken = "solid x\nfacet normal 0 0 1\nvortex\n";
    EXPECT_FALSE(parseStl(&result, kFormatUnknown, reinterpret_cast<const u8*>(broken.data()),
                          reinterpret_cast<const u8*>(broken.data()) + broken.size(), heap, &chain.sink));
    EXPECT_EQ(result.format, kFormatAscii) << "written as soon as the format is known";
    destroyLoadHeap(heap);
}
