#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "stl/detect.h"
#include "stl/provenance.h"
#include "support/sinks.h"

namespace {

// A whole ASCII file through the parse: the reader, then the identification.
struct Parsed {
    std::shared_ptr<u8[]> file;
    LoadHeap heap = createLoadHeap();
    LoadResult result = {};
    std::vector<std::string> lines;
    bool ok = false;

    explicit Parsed(const std::string& text) : file(new u8[text.size()]) {
        std::memcpy(file.get(), text.data(), text.size());
        TranslatingSink chain;
        ok = parseStl(&result, kFormatAscii, file.get(), file.get() + text.size(), heap, &chain.sink);
        for (const std::u16string& line : chain.recorder.lines())
            lines.push_back(narrow(line));
    }
    ~Parsed() { destroyLoadHeap(heap); }
    Parsed(const Parsed&) = delete;

    CoordinateSpace space() const { return result.provenance.coordinateSpace; }
    f32 unit() const { return result.provenance.metresPerUnit; }
    std::string firstName() const {
        FileText name = result.mesh.solids[0].name;
        return std::string(reinterpret_cast<const char*>(name.bytes), name.length);
    }
};

const std::string kZUpWarning = "STL warning: unknown coordinate space; assuming Z up";
const std::string kUnitWarning = "STL warning: unknown unit; assuming milimeters";

std::vector<std::string> writtenBy(const std::string& name, std::vector<std::string> more = {}) {
    more.insert(more.begin(), "STL info: written by " + name);
    return more;
}

std::string file(const std::string& name, const std::string& lineEnd = "\n", const std::string& end = "") {
    std::string facet = "facet normal 0 0 1" + lineEnd + "outer loop" + lineEnd + "vertex 0 0 0" + lineEnd +
                        "vertex 1 0 0" + lineEnd + "vertex 0 1 0" + lineEnd + "endloop" + lineEnd + "endfacet" + lineEnd;
    return "solid " + name + lineEnd + facet + facet + (end.empty() ? "endsolid " + name + lineEnd : end);
}

}  // namespace

TEST(AsciiExporter, Names) {
    const struct {
        const char* name;
        std::vector<std::string> lines;
        CoordinateSpace space;
    } cases[] = {
        {"stl file generated from AC3D", writtenBy("Inivis AC3D"), kSpaceZUp},
        {"CAD Exchanger 3.9", writtenBy("CAD Exchanger", {kUnitWarning}), kSpaceYUp},
        {"shape, STL ascii file, created with Open CASCADE Technology", writtenBy("Open CASCADE Technology", {kUnitWarning}), kSpaceYUp},
        {"created by TurboCAD", writtenBy("IMSI/Design TurboCAD", {kZUpWarning, kUnitWarning}), kSpaceZUp},
        {"STL file created by Vectorworks 2023", writtenBy("Vectorworks 2023",
            {"STL info: unknown coordinate space; defaulting to Z up", "STL info: unknown unit; defaulting to milimeters"}), kSpaceZUp},
        {"CATIA STL", writtenBy("Dassault CATIA Digitized Shape Editor"), kSpaceZUp},
        {"stl_item0", writtenBy("Autodesk Tinkercad"), kSpaceZUp},
        {"MYSOLID created by IVREAD", writtenBy("IVREAD", {kZUpWarning, kUnitWarning}), kSpaceZUp},
        {"MYSOLID created by IVCON, version 1", writtenBy("IVCON", {kZUpWarning, kUnitWarning}), kSpaceZUp},
        {"MYSOLID", writtenBy("IVCON/IVREAD", {kZUpWarning, kUnitWarning}), kSpaceZUp},
        {"MYSOLID01", {kZUpWarning, kUnitWarning}, kSpaceZUp},
        {"OpenSCAD_Model", writtenBy("OpenSCAD"), kSpaceZUp},
        {"MYSOLIDOpenSCAD", writtenBy("IVCON/IVREAD", {kZUpWarning, kUnitWarning}), kSpaceZUp},
        {"catia stl", {kZUpWarning, kUnitWarning}, kSpaceZUp},
        {"cube", {kZUpWarning, kUnitWarning}, kSpaceZUp},
        {"", {kZUpWarning, kUnitWarning}, kSpaceZUp},
    };
    for (const auto& c : cases) {
        Parsed parsed(file(c.name));
        ASSERT_TRUE(parsed.ok) << c.name;
        // The load's own defaults follow, as in a load: they speak only where a path left a gap.
        TranslatingSink chain;
        applyLoadDefaults(&parsed.result.provenance, &chain.sink);
        std::vector<std::string> lines = parsed.lines;
        for (const std::u16string& line : chain.recorder.lines())
            lines.push_back(narrow(line));
        EXPECT_EQ(parsed.space(), c.space) << c.name;
        EXPECT_EQ(parsed.unit(), kMetresPerMillimetre) << c.name;
        EXPECT_EQ(lines, c.lines) << c.name;
        EXPECT_EQ(+(parsed.result.provenance.colourOrder), kColourNone);
    }
}

TEST(AsciiExporter, QuotedNames) {
    Parsed claim(file("\"Part<stl unit=MM>\""));
    EXPECT_EQ(claim.lines, writtenBy("ANSYS SpaceClaim"));
    EXPECT_EQ(claim.firstName(), "Part") << "the solid's own name loses its quotes and tag";
    EXPECT_EQ(claim.unit(), kMetresPerMillimetre);

    Parsed inches(file("\"<stl unit=INCHES>\""));
    EXPECT_EQ(inches.firstName(), "");
    EXPECT_EQ(inches.unit(), kMetresPerInch);
    EXPECT_EQ(inches.space(), kSpaceZUp);

    EXPECT_EQ(Parsed(file("Part<stl unit=MM>\"")).lines, (std::vector<std::string>{kZUpWarning, kUnitWarning}));
    EXPECT_EQ(Parsed(file("\"Part<stl unit=mm>\"")).lines, (std::vector<std::string>{kZUpWarning, kUnitWarning}));

    std::string aoi = "\"Object-0\"; Produced by Art of Illusion 3.0.3, Sat Dec 02 10:00:00 CET 2023";
    Parsed art(file(aoi));
    EXPECT_EQ(art.lines, writtenBy("Art of Illusion 3.0.3", {"STL info: written Sat Dec 02 10:00:00 CET 2023", kZUpWarning}));
    EXPECT_EQ(art.unit(), kMetresPerMillimetre);
    Parsed shortArt(file(aoi.substr(0, 46)));
    EXPECT_EQ(shortArt.lines, writtenBy("Art of Illusion 3.0.3", {kZUpWarning})) << "no date when fewer than 66 bytes remain";
}

TEST(AsciiExporter, FileEnding) {
    Parsed ironcad(file("anything", "\n", "end solid\r\n"));
    EXPECT_EQ(ironcad.lines, (std::vector<std::string>{"STL warning: found 'end solid' instead of 'endsolid'", "STL info: written by IRONCAD"}));
    Parsed named(file("CATIA STL", "\n", "end solid\r\n"));
    EXPECT_EQ(named.lines.back(), "STL info: written by IRONCAD") << "the name is not looked at";
}

// The layout of the first facets, with CR LF line ends and each exporter's indentation.
TEST(AsciiExporter, Layouts) {
    auto layout = [](const std::string& name, const std::string& facetIndent, const std::string& loopIndent,
                     const std::string& vertexIndent, const std::string& afterLoop = "", const std::string& afterVertex = " ") {
        std::string facet = facetIndent + "facet normal 0 0 1\r\n" + loopIndent + "outer loop" + afterLoop + "\r\n" +
                            vertexIndent + "vertex" + afterVertex + "0 0 0\r\n" + vertexIndent + "vertex" + afterVertex +
                            "1 0 0\r\n" + vertexIndent + "vertex" + afterVertex + "0 1 0\r\n" + loopIndent + "endloop\r\n" +
                            facetIndent + "endfacet\r\n";
        return "solid " + name + "\r\n" + facet + facet + "endsolid " + name + "\r\n";
    };
    const struct {
        std::string text;
        std::vector<std::string> lines;
        CoordinateSpace space;
    } cases[] = {
        {layout("x", "", "  ", "    "), writtenBy("SketchUp", {kZUpWarning, kUnitWarning}), kSpaceZUp},
        {layout("x", " ", "  ", "   "), writtenBy("Visualization Toolkit"), kSpaceZUp},
        {layout("x", " ", "  ", "    "), writtenBy("Autodesk Netfabb"), kSpaceZUp},
        {layout("", "", "", "", " "), writtenBy("T-Flex CAD", {kZUpWarning, kUnitWarning}), kSpaceZUp},
        {layout("x", "", "", "", " "), {kZUpWarning, kUnitWarning}, kSpaceZUp},
        {layout("ascii", "  ", "    ", "      ", "", "   "), writtenBy("Autodesk 123D"), kSpaceZUp},
        {layout("ASCII", "  ", "    ", "      ", "", "   "), writtenBy("Autodesk Fusion 360"), kSpaceYUp},
        {layout("Ascii", "  ", "    ", "      ", "", "   "), {kZUpWarning, kUnitWarning}, kSpaceZUp},
    };
    for (const auto& c : cases) {
        Parsed parsed(c.text);
        ASSERT_TRUE(parsed.ok) << c.text;
        EXPECT_EQ(parsed.lines, c.lines) << c.text;
        EXPECT_EQ(parsed.space(), c.space) << c.text;
    }
    // The scan stops 33 bytes before min(size, 768): a pattern past that is not seen.
    std::string late = layout("", "", "", "", " ");
    late.insert(8, std::string(800, ' '));
    EXPECT_EQ(Parsed(late).lines, (std::vector<std::string>{kZUpWarning, kUnitWarning}));
}

// The load's defaults take any non-finite unit, and say nothing where all is known.
TEST(Provenance, LoadDefaults) {
    FileProvenance provenance = {};
    for (f32 unit : {kUnknownUnit, f32(INFINITY), -f32(INFINITY)}) {
        provenance.coordinateSpace = kSpaceUnknown;
        provenance.metresPerUnit = unit;
        TranslatingSink chain;
        applyLoadDefaults(&provenance, &chain.sink);
        EXPECT_EQ(chain.recorder.lines(), (std::vector<std::u16string>{u"STL info: unknown coordinate space; defaulting to Z up",
                                                                        u"STL info: unknown unit; defaulting to milimeters"}));
        EXPECT_EQ(provenance.coordinateSpace, kSpaceZUp);
        EXPECT_EQ(+(provenance.metresPerUnit), kMetresPerMillimetre);
    }
    RecordingSink none;
    applyLoadDefaults(&provenance, &none.sink);
    EXPECT_TRUE(none.reports.empty());
}
