// The two readers on inputs in exact-size blocks: the meshes they make, what they report,
// and where they stop.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "stl/ascii_reader.h"
#include "stl/binary_reader.h"
#include "stl/heap.h"
#include "support/sinks.h"
#include "support/stl_bytes.h"

namespace {

using Codes = std::vector<ResultCode>;

// One reader's run over an input: the mesh it made, what it reported, and the heap, which
// lives as long as the run. A failed run must leave no mesh.
template <decltype(&readAsciiStl) reader>
struct MeshRead {
    std::vector<u8> file;  // exact size: the sanitizers see a read past it
    LoadHeap heap = createLoadHeap();
    StlMesh mesh = {};
    RecordingSink recorder;
    bool ok;

    template <typename Bytes>  // a string or a vector of bytes
    explicit MeshRead(const Bytes& input, bool answer = true) : file(input.begin(), input.end()) {
        recorder.answer = answer;
        ok = reader(&mesh, file.data(), file.size(), heap, &recorder.sink);
        if (!ok)
            EXPECT_EQ(std::make_pair(+(mesh.solids), +(mesh.solidCount)), std::make_pair(static_cast<StlSolid*>(nullptr), 0u))
                << "a failed read leaves no mesh";
    }
    ~MeshRead() { destroyLoadHeap(heap); }

    const StlSolid& solid(u32 i) const { return mesh.solids[i]; }
    u32 triangles(u32 i) const { return mesh.solids[i].triangleCount; }
    std::string name(u32 i) const { return std::string(reinterpret_cast<const char*>(solid(i).name.bytes), solid(i).name.length); }
    u64 offsetOf(u32 i) const { return u64(reinterpret_cast<const u8*>(solid(i).triangles) - file.data()); }
    uptr argumentOf(ResultCode code) const {
        return recorder.collect([code](ResultCode c) { return c == code; }, [](const Recorded& r) { return r.argument; }).at(0);
    }
};

using AsciiRead = MeshRead<readAsciiStl>;
using BinaryRead = MeshRead<readBinaryStl>;

std::string facet(const std::string& normal = "0 0 1", const std::string& v1 = "0 0 0") {
    return "  facet normal " + normal + "\n    outer loop\n      vertex " + v1 + "\n      vertex 1 0 0\n      vertex 0 1 0\n"
           "    endloop\n  endfacet\n";
}

std::string solid(const std::string& name, const std::string& body, const std::string& end = "") {
    return "solid " + name + "\n" + body + (end.empty() ? "endsolid " + name : end) + "\n";
}

}  // namespace

TEST(AsciiReader, SolidsWithTheirFacetsAndNames) {
    AsciiRead read(solid("cube", facet("0 0 -1", "1.5 5e1 -9") + facet()) + "\n\t \n" + solid("b", facet() + facet() + facet()) + "  \r\n");
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(+(read.mesh.fileStart), nullptr) << "the mesh owns its stores";
    ASSERT_EQ(+(read.mesh.solidCount), 2u);
    EXPECT_EQ(read.name(0) + "," + read.name(1), "cube,b");
    EXPECT_EQ(read.triangles(0) * 10 + read.triangles(1), 23u);
    StlTriangle t = read.solid(0).triangles[0];
    EXPECT_EQ((std::vector<f32>{t.normal.z, t.vertices[0].x, t.vertices[0].y, t.vertices[0].z, t.vertices[2].y}),
              (std::vector<f32>{-1, 1.5f, 50, -9, 1}));
    EXPECT_EQ(+(read.mesh.solids[0].hasColours), 0);
    EXPECT_EQ(read.recorder.codes(), Codes{});
    AsciiRead empty(std::string("solid \nendsolid \n"));
    EXPECT_EQ(empty.name(0) + std::to_string(empty.triangles(0)), "0");
}

// Every report with its offset (the argument). A warning keeps the read going and fails it
// when answered with stop; an error ends it, leaving no mesh. Where the input ends decides
// between a warning (the solid keeps its whole facets) and an error (a facet half written).
TEST(AsciiReader, ReportsAtTheirOffsets) {
    const std::string loop = "solid x\n  facet normal 0 0 1\n outer loop\n ";
    const std::string vertices = loop + "vertex 1 2 3\n vertex 1 2 3\n vertex 1 2 3\n ";
    const std::string twoSolids = solid("a", facet()) + solid("b", facet()), head = "solid x\n" + facet() + "  facet normal 0 0 1\n";
    const std::string endsolid = solid("cube", facet(), "endsolid"), other = solid("cube", facet(), "endsolid cubes");
    const size_t kEnd = ~size_t(0);  // a cut file: the offset is not checked, one whole facet is kept
    const std::tuple<std::string, ResultCode, size_t> cases[] = {
        {solid("cube", facet(), "endsolid cube trailing words") + "solid cube\nendsolid cube", 0, 0},
        {"solid\r\n" + facet() + "endsolid anything\r\n", 0, 0},
        {endsolid, kMissingEndsolidName, endsolid.size() - 1},
        {other, kMissingEndsolidName, other.size() - 7},
        {"solid cube \r\n" + facet() + "endsolid cube\r\n", kMissingEndsolidName, 13 + facet().size() + 8},  // "cube " is the name
        {"solid x\n  facet  normal 0 0 1\n", kExpectedFacetOrEndsolid, 10},
        {"solid x\n  FACET NORMAL 0 0 1\n", kExpectedFacetOrEndsolid, 10},
        {"solid x\n  facet normals 0 0 1\n", kExpectedFacetOrEndsolid, 10},
        {loop + "vortex 1 2 3\n", kExpectedVertex, loop.size()},
        {vertices + "endfacet\n", kExpectedEndloop, vertices.size()},
        {vertices + "endloop\nendsolid\n", kExpectedEndfacet, vertices.size() + 8},
        {"solid x\n  facet normal 0 0 1", kExpectedEndfacet, 28},  // a loop cut off before it began
        {"solidx\n", kExpectedSolid, 0},
        {twoSolids + "junk\n", kExpectedSolid, twoSolids.size()},
        {loop + "vertex\n 1 2 3\n", kExpectedNumber, loop.size() + 6},  // numbers stand on the line of their keyword
        {head + "    outer loop\n", kUnexpectedEndOfFile, kEnd},  // between the vertices
        {head + "    outer loop\n      vertex 1 2 3\n      vertex 4 5", kUnexpectedEndOfFile, kEnd},  // inside a vector
        {"solid x\n" + facet(), kUnexpectedEndOfFile, kEnd},  // between the facets
    };
    for (const auto& [text, code, offset] : cases) {
        AsciiRead read(text);
        EXPECT_EQ(read.ok, !isErrorCode(code)) << text;
        EXPECT_EQ(read.recorder.codes(), code ? Codes{code} : Codes{}) << text;
        if (code && offset != kEnd)
            EXPECT_EQ(read.argumentOf(code), offset) << text;
        if (offset == kEnd)
            EXPECT_EQ(read.triangles(0), 1u) << "the partial facet is dropped: " << text;
        if (code && !isErrorCode(code))
            EXPECT_FALSE(AsciiRead(text, /*answer=*/false).ok) << "a warning answered with stop fails: " << text;
    }
    EXPECT_EQ(AsciiRead(solid("x", facet(), "end solid x")).recorder.codes(), (Codes{kEndSolidWithSpace, kExpectedSolid}))
        << "after 'end solid' the name is met where a solid may begin";
}

TEST(AsciiReader, NormalsFlag) {
    auto flag = [](const std::string& body) { return int(AsciiRead(solid("x", body)).mesh.solids[0].hasNormals); };
    EXPECT_EQ(flag(facet("0 0 0") + facet("-0.0 0 -0e3")), 0);
    EXPECT_EQ(flag(facet("0 0 0") + facet("0 1e-30 0")), 1);
    EXPECT_EQ(flag(facet("0 nan 0")), 1);
}

// Facets far shorter than the store was sized for (numbers joined by their signs, no loop),
// thousands of them, and thousands of solids: the stores and the solid array grow, in order.
TEST(AsciiReader, StoresGrow) {
    std::string body;
    const u32 count = 5000;
    for (u32 i = 0; i < count; ++i) {
        std::string n = std::to_string(i % 10);
        body += i % 3 ? "facet normal 1 2 3outer loop vertex\t" + n + "-1-2vertex 4 5 6vertex 7 8 9\nendloop endfacet "
                      : "facet normal 0 0 " + n + "\nendfacet\n";
    }
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "solid s\nfacet normal 0 0 1\nendfacet\nendsolid s\n";
    AsciiRead read(text + "solid\n" + body + "endsolid\n" + solid("small", facet()));
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(+(read.mesh.solidCount), 3002u);
    EXPECT_EQ(read.triangles(2999), 1u);
    ASSERT_EQ(read.triangles(3000), count);
    for (u32 i = 0; i < count; ++i) {
        StlTriangle t = read.solid(3000).triangles[i];
        // A facet without a loop has its vertices at the origin, not what the store held.
        ASSERT_EQ(i % 3 ? t.vertices[0].x : t.normal.z + t.vertices[2].y, f32(i % 10)) << i;
    }
    EXPECT_EQ(read.triangles(3001), 1u);
    EXPECT_EQ(read.recorder.codes(), Codes{});
}

// Progress counts thousandths of the file, one at a time; a stop ends the read at once.
TEST(AsciiReader, ProgressAndStop) {
    std::string body;
    for (int i = 0; i < 20000; ++i)
        body += facet("0 0 1", "1.000000e+00 2.000000e+00 3.000000e+00");
    for (const std::string& text : {solid("few", facet() + facet() + facet()), solid("big", body)}) {
        std::vector<uptr> values = AsciiRead(text).recorder.progress();
        ASSERT_FALSE(values.empty());
        for (size_t i = 1; i < values.size(); ++i)
            ASSERT_EQ(values[i], values[i - 1] + 1);
        EXPECT_LE(values.back(), 1000u);
        EXPECT_GE(values.size(), text.size() > 100000 ? 990u : 3u) << "a report at least every facet or thousandth";
    }
    AsciiRead cancelled(solid("big", body), /*answer=*/false);
    EXPECT_FALSE(cancelled.ok);
    EXPECT_EQ(cancelled.recorder.progress().size(), 1u) << "stops at the first report answered with stop";
    EXPECT_EQ(cancelled.recorder.codes(), Codes{}) << "a stop is no error";
}

// Each block is a solid that points into the file; one to three trailing bytes are no block,
// four zero bytes are an empty one.
TEST(BinaryReader, SolidsPointIntoTheFileBlockByBlock) {
    BinaryRead read(BinaryStlBuilder().block(2, BinaryTriangle({1.5f})).block(1).count(0).raw("xyz").bytes());
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(+(read.mesh.fileStart), read.file.data());
    ASSERT_EQ(+(read.mesh.solidCount), 3u);
    const u64 triangles[] = {2, 1, 0}, offsets[] = {84, 84 + 2 * 50 + 4, 84 + 3 * 50 + 8};
    for (u32 i = 0; i < 3; ++i)
        EXPECT_EQ(std::make_pair(u64(read.triangles(i)), read.offsetOf(i)), std::make_pair(triangles[i], offsets[i])) << i;
    EXPECT_EQ(+(read.solid(0).triangles[1].vertices[0].x), 1.5f);
    EXPECT_EQ(read.recorder.codes(), std::vector<ResultCode>{});
}

// A later count larger than what follows, or a partial block, fails the whole load and
// leaves nothing of the mesh; so does the first count, for a caller that did not check it.
TEST(BinaryReader, BlocksRunningPastTheEnd) {
    for (const BinaryStlBuilder& file : {BinaryStlBuilder().block(1).count(2).triangle({}).raw("abc"), BinaryStlBuilder().count(0xFFFFFFFF).triangle({})}) {
        BinaryRead read(file.bytes());
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.recorder.codes(), std::vector<ResultCode>{kEndOfFileInTriangles});
    }
}

// A megabyte of zero bytes after the first block is a quarter of a million empty blocks;
// they must read in linear time.
TEST(BinaryReader, ManyEmptyBlocks) {
    BinaryRead read(BinaryStlBuilder().block(1).raw(std::string(1u << 20, '\0')).bytes());
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(+(read.mesh.solidCount), 1u + (1u << 18));
    EXPECT_EQ(read.offsetOf(1u << 18), read.file.size());
}

TEST(BinaryReader, NormalsAndColoursFlags) {
    auto flags = [](const std::vector<BinaryTriangle>& triangles) {
        BinaryRead read(BinaryStlBuilder().block(triangles).bytes());
        EXPECT_TRUE(read.ok);
        return std::make_pair(int(read.solid(0).hasNormals), int(read.solid(0).hasColours));
    };
    EXPECT_EQ(flags({BinaryTriangle({}, {0, 0, 0}), BinaryTriangle({}, {0, -0.0f, 0})}).first, 0) << "-0 equals 0";
    EXPECT_EQ(flags({BinaryTriangle({}, {0, -0.0f, NAN})}).first, 1) << "NaN is not equal to 0";
    EXPECT_EQ(flags({BinaryTriangle({}, {0, 0, 0}), BinaryTriangle({}, {0, 0, 0}), BinaryTriangle({}, {0, 1e-30f, 0})}).first, 1)
        << "a later record counts";
    // Bits 0..14 carry a colour unless every record holds 0 or every one 0x7FFF; bit 15 plays no part.
    auto word = [](u16 attribute) { return BinaryTriangle({}, {0, 0, 1}, attribute); };
    const std::pair<std::vector<BinaryTriangle>, int> words[] = {
        {{word(0x8000), word(0x8000)}, 0}, {{word(0x7FFF), word(0x7FFF)}, 0}, {{word(0xFFFF), word(0x7FFF)}, 0},
        {{word(0x8000), word(0x7FFF)}, 1}, {{word(0), word(0), word(0x001F)}, 1}};
    for (const auto& [triangles, coloured] : words)
        EXPECT_EQ(flags(triangles).second, coloured) << std::hex << triangles[0].attribute;
    BinaryRead two(BinaryStlBuilder().block(2, BinaryTriangle({}, {0, 0, 1}, 0x1234)).block(2).bytes());
    EXPECT_EQ(+(two.solid(1).hasColours), 0) << "each block decides for itself";
}

// Per block, progress counts from 0 up to at most 999, one at a time, and a stop is ignored.
TEST(BinaryReader, ProgressPerBlockIgnoringTheAnswer) {
    BinaryRead read(BinaryStlBuilder().block(10).block(2500).block(4000).bytes(), /*answer=*/false);
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
