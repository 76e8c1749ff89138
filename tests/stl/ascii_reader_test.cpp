#include <gtest/gtest.h>

#include <string>

#include "stl/ascii_reader.h"
#include "support/mesh_read.h"

namespace {

using AsciiRead = MeshRead<readAsciiStl>;

std::string facet(const std::string& normal = "0 0 1", const std::string& v1 = "0 0 0") {
    return "  facet normal " + normal + "\n    outer loop\n      vertex " + v1 + "\n      vertex 1 0 0\n      vertex 0 1 0\n"
           "    endloop\n  endfacet\n";
}

std::string solid(const std::string& name, const std::string& body, const std::string& end = "") {
    return "solid " + name + "\n" + body + (end.empty() ? "endsolid " + name : end) + "\n";
}

using Codes = std::vector<ResultCode>;

}  // namespace

TEST(AsciiReader, SolidsWithTheirFacetsAndNames) {
    AsciiRead read(solid("cube", facet("0 0 -1", "1.5 5e1 -9") + facet()) + "\n\t \n" + solid("b", facet() + facet() + facet()) + "  \r\n");
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(+(read.mesh.fileStart), nullptr) << "the mesh owns its stores";
    ASSERT_EQ(+(read.mesh.solidCount), 2u);
    EXPECT_EQ(read.name(0) + "," + read.name(1), "cube,b");
    EXPECT_EQ(read.triangles(0) * 10 + read.triangles(1), 23u);
    StlTriangle t = read.triangle(0, 0);
    EXPECT_EQ((std::vector<f32>{t.normal.z, t.vertices[0].x, t.vertices[0].y, t.vertices[0].z, t.vertices[2].y}),
              (std::vector<f32>{-1, 1.5f, 50, -9, 1}));
    EXPECT_EQ(+(read.mesh.solids[0].hasNormals), 1);
    EXPECT_EQ(+(read.mesh.solids[0].hasColours), 0);
    EXPECT_EQ(read.recorder.codes(), Codes{});

    AsciiRead empty("solid \nendsolid \n");
    ASSERT_TRUE(empty.ok);
    EXPECT_EQ(empty.name(0), "");
    EXPECT_EQ(empty.triangles(0), 0u);
    AsciiRead bare("solid");
    ASSERT_TRUE(bare.ok) << "a file that ends after the keyword ends its solid with a warning";
    EXPECT_EQ(bare.recorder.codes(), Codes{kUnexpectedEndOfFile});
    AsciiRead loopless(solid("x", "facet normal 0 0 1\nendfacet\n" + facet()));
    ASSERT_EQ(loopless.triangles(0), 2u) << "a facet without a loop counts, with zero vertices";
    EXPECT_EQ(loopless.triangle(0, 0).vertices[2].y, 0.0f);
}

TEST(AsciiReader, EndsolidNames) {
    for (const char* end : {"endsolid cube", "endsolid cube trailing words"})
        EXPECT_EQ(AsciiRead(solid("cube", facet(), end)).recorder.codes(), Codes{}) << end;
    EXPECT_EQ(AsciiRead("solid cube\nendsolid cube").recorder.codes(), Codes{}) << "the name may end the input";
    EXPECT_EQ(AsciiRead("solid\r\n" + facet() + "endsolid anything\r\n").recorder.codes(), Codes{}) << "no name, none compared";
    for (const char* end : {"endsolid", "endsolid other", "endsolid cubes", "endsolid  cube", "endsolid cub"}) {
        AsciiRead read(solid("cube", facet(), end));
        EXPECT_TRUE(read.ok) << end;
        EXPECT_EQ(read.recorder.codes(), Codes{kMissingEndsolidName}) << end;
        EXPECT_EQ(read.argumentOf(kMissingEndsolidName), read.file.size - std::strlen(end) - 1 + 8) << "offset after the keyword";
    }
    // Trailing blanks belong to the name and are compared.
    AsciiRead blank("solid cube \r\n" + facet() + "endsolid cube\r\n");
    EXPECT_EQ(blank.name(0), "cube ");
    EXPECT_EQ(blank.recorder.codes(), Codes{kMissingEndsolidName});
    EXPECT_EQ(AsciiRead("solid cube \r\n" + facet() + "endsolid cube \r\n").recorder.codes(), Codes{});
    EXPECT_FALSE(AsciiRead(solid("cube", facet(), "endsolid"), /*answer=*/false).ok) << "a warning answered with stop fails";

    AsciiRead plain(solid("x", facet(), "end solid"));
    EXPECT_TRUE(plain.ok);
    EXPECT_EQ(plain.recorder.codes(), Codes{kEndSolidWithSpace});
    AsciiRead named(solid("x", facet(), "end solid x"));
    EXPECT_FALSE(named.ok) << "the name is met where a solid may begin";
    EXPECT_EQ(named.recorder.codes(), (Codes{kEndSolidWithSpace, kExpectedSolid}));
}

TEST(AsciiReader, SyntaxErrorsAtTheirOffsets) {
    const std::string loop = "solid x\n  facet normal 0 0 1\n outer loop\n ";
    const std::string vertices = loop + "vertex 1 2 3\n vertex 1 2 3\n vertex 1 2 3\n ";
    const std::string twoSolids = solid("a", facet()) + solid("b", facet());
    const struct {
        std::string text;
        ResultCode code;
        size_t offset;
    } faults[] = {
        {"solid x\n  facet  normal 0 0 1\n", kExpectedFacetOrEndsolid, 10},
        {"solid x\n  FACET NORMAL 0 0 1\n", kExpectedFacetOrEndsolid, 10},
        {"solid x\n  facet normals 0 0 1\n", kExpectedFacetOrEndsolid, 10},
        {"solid x\n  endsolidx\n", kExpectedFacetOrEndsolid, 10},
        {loop + "vortex 1 2 3\n", kExpectedVertex, loop.size()},
        {vertices + "endfacet\n", kExpectedEndloop, vertices.size()},
        {vertices + "endloop\nendsolid\n", kExpectedEndfacet, vertices.size() + 8},
        {"solid x\n  facet normal 0 0 1\n outerloop\n", kExpectedEndfacet, 30},
        {"solid x\n  facet normal 0 0 1", kExpectedEndfacet, 28},
        {"Solid x\n", kExpectedSolid, 0},
        {"solidx\n", kExpectedSolid, 0},
        {twoSolids + "junk\n", kExpectedSolid, twoSolids.size()},
        // Numbers stand on the line of their keyword.
        {loop + "vertex\n 1 2 3\n", kExpectedNumber, ~size_t(0)},
        {"solid x\n facet normal 0 0 one\n", kExpectedNumber, ~size_t(0)},
    };
    for (const auto& [text, code, offset] : faults) {
        AsciiRead read(text);
        EXPECT_FALSE(read.ok) << text;
        EXPECT_EQ(read.recorder.codes(), Codes{code}) << text;
        if (offset != ~size_t(0))
            EXPECT_EQ(read.argumentOf(code), offset) << text;
    }
    AsciiRead joined(solid("x", "facet normal 0 0 1\nouter loop\nvertex\t-1-2-3\nvertex 1,5 .5\t+2\nvertex 4 5 6\nendloop\nendfacet\n"));
    ASSERT_TRUE(joined.ok);
    StlTriangle t = joined.triangle(0, 0);
    EXPECT_EQ((std::vector<f32>{t.vertices[0].y, t.vertices[1].x, t.vertices[1].y}), (std::vector<f32>{-2, 1.5f, 0.5f}));
}

// Where the input ends decides between a warning (the solid keeps its whole facets) and
// an error (a facet was left half written, above).
TEST(AsciiReader, TruncatedFiles) {
    std::string head = "solid x\n" + facet() + "  facet normal 0 0 1\n    outer loop\n";
    for (const std::string& text : {head + "      vertex 1 2 3\n", head + "      vertex 1 2 3\n      vertex",
                                    head + "      vertex 1 2 3\n      vertex 4 5", head + "      vertex 1 2 3\n      vertex 4 5 6e",
                                    head, "solid x\n" + facet(), "solid x\n" + facet() + "  facet normal 1 1"}) {
        AsciiRead read(text);
        EXPECT_TRUE(read.ok) << text;
        EXPECT_EQ(read.recorder.codes(), Codes{kUnexpectedEndOfFile}) << text;
        ASSERT_EQ(read.triangles(0), 1u) << "the partial facet is dropped: " << text;
        EXPECT_FALSE(AsciiRead(text, /*answer=*/false).ok) << text;
    }
}

TEST(AsciiReader, NormalsFlag) {
    auto flag = [](const std::string& body) { return int(AsciiRead(solid("x", body)).mesh.solids[0].hasNormals); };
    EXPECT_EQ(flag(facet("0 0 0") + facet("0 -0 0") + facet("-0.0 0 -0e3")), 0);
    EXPECT_EQ(flag(facet("0 0 0") + facet("0 1e-30 0")), 1);
    EXPECT_EQ(flag(facet("0 nan 0")), 1);
}

// Facets far shorter than the store was sized for (no blanks, no loop), thousands of them,
// and thousands of solids: the stores and the solid array grow, everything in order.
TEST(AsciiReader, StoresGrow) {
    std::string body;
    const u32 count = 5000;
    for (u32 i = 0; i < count; ++i) {
        std::string n = std::to_string(i % 10);
        body += i % 3 ? "facet normal 1 2 3outer loop vertex " + n + "-1-2vertex 4 5 6vertex 7 8 9\nendloop endfacet "
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
        StlTriangle t = read.triangle(3000, i);
        ASSERT_EQ(i % 3 ? t.vertices[0].x : t.normal.z, f32(i % 10)) << i;
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
