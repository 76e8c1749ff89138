#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "stl/heap.h"
#include "stl/mesh_check.h"
#include "support/sinks.h"

namespace {

typedef std::vector<StlTriangle> Solid;

const f64 kPi = 3.14159265358979323846;

StlTriangle triangle(const f32 a[3], const f32 b[3], const f32 c[3]) {
    StlTriangle t = {};
    const f32* corners[3] = {a, b, c};
    for (int k = 0; k < 3; ++k)
        t.vertices[k] = {corners[k][0], corners[k][1], corners[k][2]};
    return t;
}

// A cube of side `side` at `origin`, twelve triangles wound outward (two per face, in the
// order -z, +z, -y, +y, -x, +x).
Solid cube(f32 side = 1, std::vector<f32> origin = {0, 0, 0}) {
    static const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    f32 corner[8][3];
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 3; ++k)
            corner[i][k] = origin[k] + side * f32((i >> k) & 1);
    Solid out;
    for (const auto& f : faces) {
        out.push_back(triangle(corner[f[0]], corner[f[1]], corner[f[2]]));
        out.push_back(triangle(corner[f[0]], corner[f[2]], corner[f[3]]));
    }
    return out;
}

void flip(StlTriangle* t) {
    StlVector v = t->vertices[1];
    t->vertices[1] = t->vertices[2];
    t->vertices[2] = v;
}

// A closed torus of rows x columns quads, each cut into two triangles.
Solid torus(int rows, int columns, f32 shift = 0) {
    auto at = [&](int i, int j, f32 out[3]) {
        f64 u = 2 * kPi * (i % rows) / rows, v = 2 * kPi * (j % columns) / columns;
        out[0] = f32((10 + 3 * std::cos(v)) * std::cos(u)) + shift;
        out[1] = f32((10 + 3 * std::cos(v)) * std::sin(u));
        out[2] = f32(3 * std::sin(v));
    };
    Solid out;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) {
            f32 a[3], b[3], c[3], d[3];
            at(i, j, a), at(i + 1, j, b), at(i + 1, j + 1, c), at(i, j + 1, d);
            out.push_back(triangle(a, b, c));
            out.push_back(triangle(a, c, d));
        }
    return out;
}

struct Checked {
    bool ok;
    MeshCheck check;
    MeshMarks marks;
    LoadHeap heap;
    ~Checked() { destroyLoadHeap(heap); }
};

void run(std::vector<Solid> solids, f64 unit, Checked* out, const ReportSink* sink = nullptr) {
    std::vector<StlSolid> records;
    for (Solid& s : solids)
        records.push_back(StlSolid{0, 0, u32(s.size()), s.data(), {}});
    LoadResult result = {};
    result.format = kFormatBinary;
    result.mesh.solids = records.data();
    result.mesh.solidCount = u32(records.size());
    out->heap = createLoadHeap();
    PreparedVertices vertices;
    ASSERT_TRUE(prepareVertices(&result, out->heap, nullptr, &vertices));
    out->ok = checkMesh(&vertices, unit, sink, &out->check, out->heap, &out->marks);
}

struct Case {
    const char* name;
    std::vector<Solid> solids;
    f64 unit;
    u64 vertices, degenerate, open, nonManifold, misoriented, shells;
    f64 area, volume;  // square and cubic metres; volume NaN: not closed
    bool insideOut;
};

TEST(MeshCheck, MeshesWithKnownAnswers) {
    Solid lessOneFace = cube();
    lessOneFace.resize(10);
    Solid flipped = cube();
    flip(&flipped[0]);  // in the plane z = 0: its tetrahedron has no volume
    Solid inside = cube();
    for (StlTriangle& t : inside)
        flip(&t);
    Solid zeros = cube();
    zeros[0].vertices[0] = {-0.0f, 0.0f, -0.0f};  // the origin, written -0 in one corner
    Solid nan = cube();
    for (StlTriangle& t : nan)
        for (StlVector& v : t.vertices)
            if (v.x == 1 && v.y == 1 && v.z == 1)
                v.y = NAN;  // each of its six corners becomes a vertex of its own
    Solid degenerate = cube();
    const f32 o[3] = {0, 0, 0}, x[3] = {1, 0, 0}, far[3] = {5, 5, 5}, negative[3] = {-0.0f, 0, 0};
    degenerate.push_back(triangle(o, o, x));
    degenerate.push_back(triangle(far, far, far));
    degenerate.push_back(triangle(negative, x, o));
    Solid all = cube();
    Solid half(all.begin(), all.begin() + 5), rest(all.begin() + 5, all.end());
    Solid one = {triangle(o, x, far)};
    const f64 inch = 0.0254;
    const Case cases[] = {
        {"closed cube of 2 mm", {cube(2)}, 0.001, 8, 0, 0, 0, 0, 1, 24e-6, 8e-9, false},
        {"cube less one face", {lessOneFace}, 1, 8, 0, 4, 0, 0, 1, 5, NAN, false},
        {"two cubes on one edge", {cube(), cube(1, {1, 1, 0})}, 1, 14, 0, 0, 1, 0, 2, 12, NAN, false},
        {"one triangle flipped", {flipped}, 1, 8, 0, 0, 0, 3, 1, 6, 1, false},
        {"inside out", {inside}, 1, 8, 0, 0, 0, 0, 1, 6, 1, true},
        {"over two solids", {half, rest}, 1, 8, 0, 0, 0, 0, 1, 6, 1, false},
        {"-0 and +0", {zeros}, 1, 8, 0, 0, 0, 0, 1, 6, 1, false},
        {"NaN corner", {nan}, 1, 7 + 6, 0, 12, 0, 0, 1, NAN, NAN, false},
        {"degenerate triangles", {degenerate}, 1, 8, 3, 0, 0, 0, 1, 6, 1, false},
        {"cube in inches", {cube()}, inch, 8, 0, 0, 0, 0, 1, 6 * inch * inch, inch * inch * inch, false},
        {"one triangle", {one}, 1, 3, 0, 3, 0, 0, 1, NAN, NAN, false},
        {"nothing", {}, 1, 0, 0, 0, 0, 0, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Checked r;
        run(c.solids, c.unit, &r);
        ASSERT_TRUE(r.ok);
        const MeshCheck& m = r.check;
        u64 triangles = 0;
        for (const Solid& s : c.solids)
            triangles += s.size();
        EXPECT_EQ(m.triangles, triangles);
        EXPECT_EQ(m.vertices, c.vertices);
        EXPECT_EQ(m.degenerateTriangles, c.degenerate);
        EXPECT_EQ(m.openEdges, c.open);
        EXPECT_EQ(m.nonManifoldEdges, c.nonManifold);
        EXPECT_EQ(m.misorientedEdges, c.misoriented);
        EXPECT_EQ(m.shells, c.shells);
        EXPECT_EQ(m.edgeUses, 3 * (triangles - c.degenerate));
        if (!std::isnan(c.area))
            EXPECT_NEAR(m.area, c.area, c.area * 1e-12);
        EXPECT_EQ(m.closed, !std::isnan(c.volume));
        if (m.closed)
            EXPECT_NEAR(std::fabs(m.signedVolume), c.volume, c.volume * 1e-12);
        EXPECT_EQ(m.insideOut, c.insideOut);
    }
}

// Large enough for both threads and many buckets; the triangles in a scrambled order. A
// far-off cube crowds the tori into one cell of the box.
TEST(MeshCheck, ToriOnTwoThreads) {
    Solid first = torus(300, 200), second = torus(150, 100, 40);
    for (size_t i = 0; i < first.size(); ++i)
        std::swap(first[i], first[(i * 7919) % first.size()]);
    for (bool far : {false, true}) {
        Checked r;
        run(far ? std::vector<Solid>{first, second, cube(1e25f, {1e30f, 0, 0})} : std::vector<Solid>{first, second}, 1, &r);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.check.vertices, 300u * 200 + 150 * 100 + (far ? 8 : 0));
        EXPECT_EQ(r.check.edges, (first.size() + second.size()) * 3 / 2 + (far ? 18 : 0));
        EXPECT_TRUE(r.check.closed);
        EXPECT_EQ(r.check.misorientedEdges, 0u);
        EXPECT_EQ(r.check.shells, far ? 3u : 2u);
        if (!far)
            EXPECT_NEAR(r.check.signedVolume, 2 * 2 * kPi * kPi * 10 * 9, 2 * 2 * kPi * kPi * 10 * 9 * 0.01);
    }
}

TEST(MeshCheck, MarksWhereTheMeshIsBroken) {
    Solid open = cube();
    open.resize(10);
    flip(&open[8]);  // on -x: its neighbours on +z and -y, and its pair
    Checked r;
    run({open}, 1, &r);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.check.openEdges, 4u);
    ASSERT_EQ(r.marks.edgeEndCount, 4u);
    for (u64 i = 0; i < 2 * r.marks.edgeEndCount; ++i) {
        u32 corner = r.marks.edgeEnds[i];
        ASSERT_LT(corner, 30u);
        f32 x = open[corner / 3].vertices[corner % 3].x;
        EXPECT_EQ(x, 1.0f) << "the hole is the +x face";
    }
    ASSERT_NE(r.marks.tintedTriangles, nullptr);
    std::vector<int> tinted;
    for (int t = 0; t < 10; ++t)
        if (r.marks.tintedTriangles[t])
            tinted.push_back(t);
    EXPECT_EQ(r.check.misorientedEdges, 3u);
    EXPECT_EQ(tinted, (std::vector<int>{3, 5, 8, 9}));
}

// Stopped at each of its looks in turn, in every step (how many depends on how the threads
// share the work): it ends without asking again.
TEST(MeshCheck, StopsWhenTheSinkSaysSo) {
    struct Asked {
        int answers, asked = 0;
    };
    bool ok = false;
    int looks = 0;
    for (; !ok; ++looks) {
        Asked asked = {looks};
        ReportSink sink = {&asked, [](void* context, ResultCode code, uptr, const Utf16*) {
                               Asked* a = static_cast<Asked*>(context);
                               EXPECT_EQ(code, kProgress);
                               return a->asked++ < a->answers;
                           }};
        Checked r;
        run({torus(60, 60)}, 1, &r, &sink);
        ok = r.ok;
        if (ok)
            EXPECT_LE(asked.asked, looks);
        else
            EXPECT_EQ(asked.asked, looks + 1) << "asked again after a stop";
    }
    EXPECT_GT(looks, 8);
}

}  // namespace
