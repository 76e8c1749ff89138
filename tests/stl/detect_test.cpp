#include <gtest/gtest.h>

#include <string>

#include "stl/detect.h"
#include "support/stl_bytes.h"

template <typename Bytes>
static StlFormat detect(const Bytes& bytes) {
    std::vector<u8> copy(bytes.begin(), bytes.end());  // exact size: the sanitizers see a read past it
    return detectStlFormat(copy.data(), copy.size());
}

// A one-triangle file whose second vertex's x has these bits.
static BinaryStlBuilder withVertexBits(u32 bits, u32 records = 1, u32 at = 0) {
    std::vector<BinaryTriangle> triangles(records);
    std::memcpy(&triangles[at].vertices[3], &bits, 4);
    return BinaryStlBuilder().block(triangles);
}

TEST(Detect, BinarySizesCountsAndCoordinates) {
    const std::pair<BinaryStlBuilder, StlFormat> cases[] = {
        {BinaryStlBuilder().count(0), kFormatBinary},               // 84 bytes, count 0
        {BinaryStlBuilder().block(1).raw("x"), kFormatUnknown},     // odd
        {BinaryStlBuilder().count(0).raw("xy"), kFormatUnknown},    // count 0 needs exactly 84
        {BinaryStlBuilder().block(1).raw("xy"), kFormatBinary},
        {BinaryStlBuilder().count(2).triangle({}).raw("xy"), kFormatUnknown},
        {BinaryStlBuilder("solid binary part").block(2), kFormatBinary},  // binary before ASCII
        // Nonzero coordinates below 1.1755e-38 (0x00800028) are implausible; only vertices of the
        // first four records count.
        {withVertexBits(0x80800027), kFormatUnknown},
        {withVertexBits(0x00800028), kFormatBinary},
        {withVertexBits(0x80000000), kFormatBinary},
        {withVertexBits(0xFFC00000), kFormatBinary},  // NaN and infinity compare false
        {withVertexBits(1, 5, 3), kFormatUnknown},
        {withVertexBits(1, 5, 4), kFormatBinary},
    };
    for (const auto& [file, format] : cases)
        EXPECT_EQ(detect(file.bytes()), format) << file.bytes().size() << " bytes";
    EXPECT_EQ(detect(BinaryStlBuilder().block(1, BinaryTriangle({}, {1e-40f})).bytes()), kFormatBinary) << "normals are not examined";
}

TEST(Detect, AsciiText) {
    const std::pair<std::string, StlFormat> cases[] = {
        {"    solid x\nendsolid x\n", kFormatAscii},   // four blanks before
        {"     solid x\nendsolid x\n", kFormatUnknown}, // five
        {"\r\n\t solid\tx\nendsolid x\n", kFormatAscii},
        {"solid\forks x\nendsolid\n", kFormatUnknown},
        {"solidworks x\nendsolid\n", kFormatUnknown},
        {"solid x\nendsoli", kFormatUnknown},          // 15 bytes
        {"solid x\nendsolid", kFormatAscii},           // 16 bytes
        {"solid caf\xC3\xA9 \x80\xFF\nendsolid\n", kFormatAscii},
        {"solid x\n" + std::string(200, ' ') + std::string(1, '\0') + "\nendsolid x\n", kFormatUnknown},
        {"solid x\n" + std::string(300, ' ') + std::string(1, '\0') + "\nendsolid x\n", kFormatAscii},  // past 256 bytes
        {"SOLID x\nendsolid x\n", kFormatUnknown},
    };
    for (const auto& [text, format] : cases)
        EXPECT_EQ(detect(text), format) << text;
}
