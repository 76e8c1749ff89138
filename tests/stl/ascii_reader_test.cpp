#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "stl/ascii_reader.h"
#include "support/sinks.h"

namespace {

// The text lives in an exact-size heap copy, so that a read past its end is caught by the
// sanitizers in the native build.
struct AsciiRead {
    std::unique_ptr<u8[]> file;
    size_t size;
    LoadHeap heap = createLoadHeap();
    StlMesh mesh = {};
    RecordingSink recorder;
    bool ok;

    explicit AsciiRead(const std::string& text, bool answer = true) : file(new u8[text.size() + 1]), size(text.size()) {
        std::memcpy(file.get(), text.data(), text.size());
        recorder.answer = answer;
        ok = readAsciiStl(&mesh, file.get(), size, heap, &recorder.sink);
    }
    ~AsciiRead() { destroyLoadHeap(heap); }

    u32 solids() const { return mesh.solidCount; }
    u32 triangles(u32 solid) const { return mesh.solids[solid].triangleCount; }
    std::string name(u32 solid) const {
        const FileText name = mesh.solids[solid].name;
        return std::string(reinterpret_cast<const char*>(name.bytes), name.length);
    }
    StlTriangle triangle(u32 solid, u32 index) const { return mesh.solids[solid].triangles[index]; }
    std::vector<ResultCode> codes() const { return recorder.codes(); }
    uptr argumentOf(ResultCode code) const {
        for (const Recorded& r : recorder.reports)
            if (r.code == code)
                return r.argument;
        return ~uptr(0);
    }
    void expectReleased() const {
        EXPECT_EQ(+(mesh.solids), nullptr);
        EXPECT_EQ(+(mesh.solidCount), 0u);
    }
};

std::string facet(const std::string& normal = "0 0 1", const std::string& v1 = "0 0 0", const std::string& v2 = "1 0 0",
                  const std::string& v3 = "0 1 0") {
    return "  facet normal " + normal + "\n    outer loop\n      vertex " + v1 + "\n      vertex " + v2 +
           "\n      vertex " + v3 + "\n    endloop\n  endfacet\n";
}

std::string solid(const std::string& name, const std::string& body, const std::string& end = "") {
    return "solid " + name + "\n" + body + (end.empty() ? "endsolid " + name : end) + "\n";
}

const std::vector<ResultCode> kNone;

}  // namespace

TEST(AsciiReader, OneSolidWithItsFacetsAndName) {
    AsciiRead read(solid("cube", facet("0 0 -1", "1.5 2 3", "-4 5e1 6", "7 8 9") + facet()));
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(+(read.mesh.fileStart), nullptr) << "the mesh owns its stores";
    ASSERT_EQ(read.solids(), 1u);
    EXPECT_EQ(read.name(0), "cube");
    EXPECT_EQ(+(read.mesh.solids[0].name.codePage), 0u);
    ASSERT_EQ(read.triangles(0), 2u);
    StlTriangle t = read.triangle(0, 0);
    EXPECT_EQ(t.normal.z, -1.0f);
    EXPECT_EQ(t.vertices[0].x, 1.5f);
    EXPECT_EQ(t.vertices[1].y, 50.0f);
    EXPECT_EQ(t.vertices[2].z, 9.0f);
    EXPECT_EQ(+(read.mesh.solids[0].hasNormals), 1);
    EXPECT_EQ(+(read.mesh.solids[0].hasColours), 0);
    EXPECT_EQ(read.codes(), kNone);
}

TEST(AsciiReader, EmptyNamesAndSolids) {
    AsciiRead empty("solid \nendsolid \n");
    ASSERT_TRUE(empty.ok);
    ASSERT_EQ(empty.solids(), 1u);
    EXPECT_EQ(empty.name(0), "");
    EXPECT_EQ(empty.triangles(0), 0u);
    EXPECT_EQ(empty.codes(), kNone);

    AsciiRead bare("solid");
    ASSERT_TRUE(bare.ok) << "a file that ends after the keyword ends its solid with a warning";
    EXPECT_EQ(bare.solids(), 1u);
    EXPECT_EQ(bare.codes(), std::vector<ResultCode>{kUnexpectedEndOfFile});

    AsciiRead unnamedEnd("solid\r\n" + facet() + "endsolid anything at all\r\n");
    ASSERT_TRUE(unnamedEnd.ok);
    EXPECT_EQ(unnamedEnd.codes(), kNone) << "an unnamed solid compares no name";
}

TEST(AsciiReader, EndsolidNames) {
    EXPECT_EQ(AsciiRead(solid("cube", facet(), "endsolid cube")).codes(), kNone);
    EXPECT_EQ(AsciiRead(solid("cube", facet(), "endsolid cube trailing words")).codes(), kNone);
    EXPECT_EQ(AsciiRead("solid cube\nendsolid cube").codes(), kNone) << "the name may end the input";
    for (const char* end : {"endsolid", "endsolid other", "endsolid cubes", "endsolid  cube", "endsolid cub"}) {
        AsciiRead read(solid("cube", facet(), end));
        EXPECT_TRUE(read.ok) << end;
        EXPECT_EQ(read.codes(), std::vector<ResultCode>{kMissingEndsolidName}) << end;
        EXPECT_EQ(read.argumentOf(kMissingEndsolidName), read.size - std::strlen(end) - 1 + 8) << "offset after the keyword";
    }
    // Trailing blanks belong to the name and are compared.
    AsciiRead blank("solid cube \r\n" + facet() + "endsolid cube\r\n");
    EXPECT_EQ(blank.name(0), "cube ");
    EXPECT_EQ(blank.codes(), std::vector<ResultCode>{kMissingEndsolidName});
    EXPECT_EQ(AsciiRead("solid cube \r\n" + facet() + "endsolid cube \r\n").codes(), kNone);

    AsciiRead stopped(solid("cube", facet(), "endsolid"), /*answer=*/false);
    EXPECT_FALSE(stopped.ok) << "a warning answered with stop fails the load";
    stopped.expectReleased();
}

TEST(AsciiReader, SeveralSolidsAndWhatMayFollowThem) {
    AsciiRead two(solid("a", facet()) + "\n\t \n" + solid("b", facet() + facet() + facet()) + "  \r\n\n");
    ASSERT_TRUE(two.ok);
    ASSERT_EQ(two.solids(), 2u);
    EXPECT_EQ(two.name(0), "a");
    EXPECT_EQ(two.name(1), "b");
    EXPECT_EQ(two.triangles(0), 1u);
    EXPECT_EQ(two.triangles(1), 3u);
    EXPECT_EQ(two.codes(), kNone);

    std::string text = solid("a", facet()) + solid("b", facet());
    AsciiRead junk(text + "junk\n");
    EXPECT_FALSE(junk.ok);
    EXPECT_EQ(junk.codes(), std::vector<ResultCode>{kExpectedSolid});
    EXPECT_EQ(junk.argumentOf(kExpectedSolid), text.size());
    junk.expectReleased();
}

TEST(AsciiReader, EndSolidAsTwoWords) {
    AsciiRead plain(solid("x", facet(), "end solid"));
    EXPECT_TRUE(plain.ok);
    EXPECT_EQ(plain.codes(), std::vector<ResultCode>{kEndSolidWithSpace});
    EXPECT_EQ(plain.triangles(0), 1u);

    AsciiRead named(solid("x", facet(), "end solid x"));
    EXPECT_FALSE(named.ok) << "the name is met where a solid may begin";
    EXPECT_EQ(named.codes(), (std::vector<ResultCode>{kEndSolidWithSpace, kExpectedSolid}));
    named.expectReleased();
}

TEST(AsciiReader, KeywordsAreExact) {
    const std::pair<std::string, ResultCode> faults[] = {
        {"solid x\n  facet  normal 0 0 1\n", kExpectedFacetOrEndsolid},
        {"solid x\n  FACET NORMAL 0 0 1\n", kExpectedFacetOrEndsolid},
        {"solid x\n  facet normals 0 0 1\n", kExpectedFacetOrEndsolid},
        {"solid x\n  endsolidx\n", kExpectedFacetOrEndsolid},
        {"solid x\n  facet normal 0 0 1\n outer loop\n vortex 1 2 3\n", kExpectedVertex},
        {"solid x\n  facet normal 0 0 1\n outer loop\n vertex 1 2 3\n vertex 1 2 3\n vertex 1 2 3\n endfacet\n", kExpectedEndloop},
        {"solid x\n  facet normal 0 0 1\n outer loop\n vertex 1 2 3\n vertex 1 2 3\n vertex 1 2 3\n endloop\nendsolid\n", kExpectedEndfacet},
        {"solid x\n  facet normal 0 0 1\n outerloop\n", kExpectedEndfacet},
        {"Solid x\n", kExpectedSolid},
        {"solidx\n", kExpectedSolid},
    };
    for (const auto& [text, code] : faults) {
        AsciiRead read(text);
        EXPECT_FALSE(read.ok) << text;
        EXPECT_EQ(read.codes(), std::vector<ResultCode>{code}) << text;
        read.expectReleased();
    }
    AsciiRead vertex("solid x\n  facet normal 0 0 1\n outer loop\n vortex 1 2 3\n");
    EXPECT_EQ(vertex.argumentOf(kExpectedVertex), std::string("solid x\n  facet normal 0 0 1\n outer loop\n ").size());
}

TEST(AsciiReader, NumbersStandOnTheLineOfTheirKeyword) {
    AsciiRead split("solid x\n facet normal 0 0 1\n outer loop\n vertex\n 1 2 3\n");
    EXPECT_FALSE(split.ok);
    EXPECT_EQ(split.codes(), std::vector<ResultCode>{kExpectedNumber}) << "the user learns why the load failed";
    split.expectReleased();

    AsciiRead letter("solid x\n facet normal 0 0 one\n");
    EXPECT_FALSE(letter.ok);
    EXPECT_EQ(letter.codes(), std::vector<ResultCode>{kExpectedNumber});

    AsciiRead joined(solid("x", "facet normal 0 0 1\nouter loop\nvertex\t-1-2-3\nvertex 1,5 .5\t+2\nvertex 4 5 6\nendloop\nendfacet\n"));
    ASSERT_TRUE(joined.ok);
    StlTriangle t = joined.triangle(0, 0);
    EXPECT_EQ(t.vertices[0].y, -2.0f);
    EXPECT_EQ(t.vertices[1].x, 1.5f);
    EXPECT_EQ(t.vertices[1].y, 0.5f);
}

// Where the input ends decides between a warning (the solid keeps what it has) and an
// error (a facet was left half written).
TEST(AsciiReader, TruncatedFiles) {
    std::string head = "solid x\n" + facet() + "  facet normal 0 0 1\n    outer loop\n";
    const std::pair<std::string, std::vector<ResultCode>> cases[] = {
        {head + "      vertex 1 2 3\n", {kUnexpectedEndOfFile}},
        {head + "      vertex 1 2 3\n      vertex", {kUnexpectedEndOfFile}},
        {head + "      vertex 1 2 3\n      vertex 4 5", {kUnexpectedEndOfFile}},
        {head + "      vertex 1 2 3\n      vertex 4 5 6e", {kUnexpectedEndOfFile}},
        {head, {kUnexpectedEndOfFile}},
        {"solid x\n" + facet(), {kUnexpectedEndOfFile}},
        {"solid x\n" + facet() + "  facet normal 1 1", {kUnexpectedEndOfFile}},
    };
    for (const auto& [text, codes] : cases) {
        AsciiRead read(text);
        EXPECT_TRUE(read.ok) << text;
        EXPECT_EQ(read.codes(), codes) << text;
        ASSERT_EQ(read.solids(), 1u);
        EXPECT_EQ(read.triangles(0), 1u) << "the partial facet is dropped: " << text;

        AsciiRead stopped(text, /*answer=*/false);
        EXPECT_FALSE(stopped.ok) << text;
        stopped.expectReleased();
    }
    AsciiRead afterNormal("solid x\n  facet normal 0 0 1");
    EXPECT_EQ(afterNormal.codes(), std::vector<ResultCode>{kExpectedEndfacet});
    AsciiRead afterVertices(head + "vertex 1 2 3\nvertex 1 2 3\nvertex 1 2 3\n");
    EXPECT_EQ(afterVertices.codes(), std::vector<ResultCode>{kExpectedEndloop});
}

TEST(AsciiReader, FacetWithoutLoopCountsWithNoVertices) {
    AsciiRead read(solid("x", "facet normal 0 0 1\nendfacet\n" + facet()));
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(read.triangles(0), 2u);
    StlTriangle t = read.triangle(0, 0);
    EXPECT_EQ(t.normal.z, 1.0f);
    for (const StlVector& v : t.vertices)
        EXPECT_TRUE(v.x == 0.0f && v.y == 0.0f && v.z == 0.0f);
}

TEST(AsciiReader, NormalsFlag) {
    auto flag = [](const std::string& body) {
        AsciiRead read(solid("x", body));
        EXPECT_TRUE(read.ok);
        return int(read.mesh.solids[0].hasNormals);
    };
    EXPECT_EQ(flag(facet("0 0 0") + facet("0 0 0")), 0);
    EXPECT_EQ(flag(facet("0 -0 0") + facet("-0.0 0 -0e3")), 0);
    EXPECT_EQ(flag(facet("0 0 0") + facet("0 1e-30 0")), 1);
    EXPECT_EQ(flag(facet("0 nan 0")), 1);
}

// Facets shorter than the 86 bytes the store was sized for: no blanks before keywords,
// no loop. Thousands of them must all be read, in order, inside the store.
TEST(AsciiReader, ShortFacetsGrowTheStore) {
    std::string body;
    const u32 count = 5000;
    for (u32 i = 0; i < count; ++i) {
        std::string n = std::to_string(i % 10);
        if (i % 3 == 0)
            body += "facet normal 0 0 " + n + "\nendfacet\n";
        else
            body += "facet normal 1 2 3outer loop vertex " + n + "-1-2vertex 4 5 6vertex 7 8 9\nendloop endfacet ";
    }
    std::string text = "solid\n" + body + "endsolid";
    ASSERT_LT(text.size() / 86, count) << "the test needs more facets than the first store holds";
    AsciiRead read(text);
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(read.triangles(0), count);
    for (u32 i = 0; i < count; ++i) {
        StlTriangle t = read.triangle(0, i);
        if (i % 3 == 0)
            ASSERT_EQ(t.normal.z, f32(i % 10)) << i;
        else
            ASSERT_EQ(t.vertices[0].x, f32(i % 10)) << i;
    }
    EXPECT_EQ(read.codes(), kNone);
}

// Thousands of solids: the array grows, and a later solid larger than the one before it
// grows its store.
TEST(AsciiReader, ManySolids) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "solid s\nfacet normal 0 0 1\nendfacet\nendsolid s\n";
    std::string large;
    for (int i = 0; i < 10000; ++i)
        large += facet("0 0 1", std::to_string(i) + " 0 0");
    AsciiRead read(text + solid("large", large) + solid("small", facet()));
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(read.solids(), 3002u);
    EXPECT_EQ(read.triangles(2999), 1u);
    ASSERT_EQ(read.triangles(3000), 10000u);
    for (u32 i = 0; i < 10000; ++i)
        ASSERT_EQ(read.triangle(3000, i).vertices[0].x, f32(i));
    EXPECT_EQ(read.triangles(3001), 1u);
}

TEST(AsciiReader, ProgressFollowsThePositionAndMayStop) {
    std::string small = solid("x", facet() + facet() + facet());
    AsciiRead few(small);
    std::vector<uptr> values = few.recorder.progress();
    ASSERT_EQ(values.size(), 3u) << "facets longer than a step: one report each";
    u64 step = small.size() / 1000 + 1;
    EXPECT_EQ(values[0], 1000 - (small.size() - 7) / step) << "from the position after the name";
    EXPECT_EQ(values[1], values[0] + 1);

    std::string body;
    for (int i = 0; i < 20000; ++i)
        body += facet("0 0 1", "1.000000e+00 2.000000e+00 3.000000e+00");
    AsciiRead large(solid("big", body));
    values = large.recorder.progress();
    EXPECT_GE(values.size(), 990u);
    EXPECT_LE(values.size(), 1001u);
    for (size_t i = 1; i < values.size(); ++i)
        ASSERT_EQ(values[i], values[i - 1] + 1);
    EXPECT_LE(values.back(), 1000u);

    AsciiRead cancelled(solid("big", body), /*answer=*/false);
    EXPECT_FALSE(cancelled.ok);
    EXPECT_EQ(cancelled.recorder.progress().size(), 1u) << "stops at the first report answered with stop";
    EXPECT_EQ(cancelled.codes(), kNone) << "a stop is no error";
    cancelled.expectReleased();
}
