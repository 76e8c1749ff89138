#include <gtest/gtest.h>

#include <string>

#include "stl/detect.h"
#include "stl/provenance.h"
#include "support/exact_bytes.h"
#include "support/sinks.h"

namespace {

// A whole ASCII file through the parse (the reader, then the identification) and the load's
// own defaults, which speak only where identification left a gap.
struct Parsed {
    ExactBytes file;
    LoadHeap heap = createLoadHeap();
    LoadResult result = {};
    std::vector<std::string> lines;

    explicit Parsed(const std::string& text) : file(text) {
        TranslatingSink chain;
        EXPECT_TRUE(parseStl(&result, kFormatAscii, file.begin(), file.end(), heap, &chain.sink)) << text;
        applyLoadDefaults(&result.provenance, &chain.sink);
        lines = chain.narrowLines();
    }
    ~Parsed() { destroyLoadHeap(heap); }
    Parsed(const Parsed&) = delete;

    std::string firstName() const {
        FileText name = result.mesh.solids[0].name;
        return std::string(reinterpret_cast<const char*>(name.bytes), name.length);
    }
};

// Two facets; CR LF line ends and each exporter's indentation where the layout is tested.
std::string file(const std::string& name, const std::string& end = "", const std::string& eol = "\n",
                 const std::string& facetIndent = "", const std::string& loopIndent = "", const std::string& vertexIndent = "",
                 const std::string& afterLoop = "", const std::string& afterVertex = " ") {
    std::string facet = facetIndent + "facet normal 0 0 1" + eol + loopIndent + "outer loop" + afterLoop + eol;
    for (const char* v : {"0 0 0", "1 0 0", "0 1 0"})
        facet += vertexIndent + "vertex" + afterVertex + v + eol;
    facet += loopIndent + "endloop" + eol + facetIndent + "endfacet" + eol;
    return "solid " + name + eol + facet + facet + (end.empty() ? "endsolid " + name + eol : end);
}

const std::vector<std::string> kNothingKnown = {kZUpWarning, kUnitWarning};

}  // namespace

TEST(AsciiExporter, NamesAndEndings) {
    const std::string aoi = "\"Object-0\"; Produced by Art of Illusion 3.0.3, Sat Dec 02 10:00:00 CET 2023";
    const struct {
        std::string text;
        std::vector<std::string> lines;
        CoordinateSpace space;
        f32 unit;
    } cases[] = {
        {file("stl file generated from AC3D"), writtenBy("Inivis AC3D"), kSpaceZUp},
        {file("CAD Exchanger 3.9"), writtenBy("CAD Exchanger", {kUnitWarning}), kSpaceYUp},
        {file("created by TurboCAD"), writtenBy("IMSI/Design TurboCAD", kNothingKnown), kSpaceZUp},
        {file("STL file created by Vectorworks 2023"), writtenBy("Vectorworks 2023",
            {"STL info: unknown coordinate space; defaulting to Z up", "STL info: unknown unit; defaulting to milimeters"}), kSpaceZUp},
        {file("CATIA STL"), writtenBy("Dassault CATIA Digitized Shape Editor"), kSpaceZUp},
        {file("MYSOLID created by IVREAD"), writtenBy("IVREAD", kNothingKnown), kSpaceZUp},
        {file("MYSOLID"), writtenBy("IVCON/IVREAD", kNothingKnown), kSpaceZUp},
        {file("MYSOLID01"), kNothingKnown, kSpaceZUp},
        {file("MYSOLIDOpenSCAD"), writtenBy("IVCON/IVREAD", kNothingKnown), kSpaceZUp},
        {file("catia stl"), kNothingKnown, kSpaceZUp},
        {file(""), kNothingKnown, kSpaceZUp},
        {file("\"Part<stl unit=MM>\""), writtenBy("ANSYS SpaceClaim"), kSpaceZUp},
        {file("\"<stl unit=INCHES>\""), writtenBy("ANSYS SpaceClaim"), kSpaceZUp, kMetresPerInch},
        {file("Part<stl unit=MM>\""), kNothingKnown, kSpaceZUp},
        {file(aoi), writtenBy("Art of Illusion 3.0.3", {"STL info: written Sat Dec 02 10:00:00 CET 2023", kZUpWarning}), kSpaceZUp},
        {file(aoi.substr(0, 46)), writtenBy("Art of Illusion 3.0.3", {kZUpWarning}), kSpaceZUp},  // no date: fewer than 66 bytes left
        {file(aoi.substr(0, 45)), kNothingKnown, kSpaceZUp},
        // The ending decides before the name does.
        {file("CATIA STL", "end solid\r\n"), {"STL warning: found 'end solid' instead of 'endsolid'", "STL info: written by IRONCAD"}, kSpaceZUp},
    };
    for (const auto& c : cases) {
        Parsed parsed(c.text);
        EXPECT_EQ(parsed.lines, c.lines) << c.text;
        EXPECT_EQ(parsed.result.provenance.coordinateSpace, c.space) << c.text;
        EXPECT_EQ(+(parsed.result.provenance.metresPerUnit), c.unit ? c.unit : kMetresPerMillimetre) << c.text;
        EXPECT_EQ(+(parsed.result.provenance.colourOrder), kColourNone);
    }
    EXPECT_EQ(Parsed(file("\"Part<stl unit=MM>\"")).firstName(), "Part") << "the solid's own name loses its quotes and tag";
}

// The layout of the first facets, with CR LF line ends and each exporter's indentation.
TEST(AsciiExporter, Layouts) {
    std::string late = file("", "", "\r\n", "", "", "", " ");
    late.insert(8, std::string(800, ' '));
    const struct {
        std::string text;
        std::vector<std::string> lines;
        CoordinateSpace space;
    } cases[] = {
        {file("x", "", "\r\n", "", "  ", "    "), writtenBy("SketchUp", kNothingKnown), kSpaceZUp},
        {file("x", "", "\r\n", " ", "  ", "   "), writtenBy("Visualization Toolkit"), kSpaceZUp},
        {file("x", "", "\r\n", " ", "  ", "    "), writtenBy("Autodesk Netfabb"), kSpaceZUp},
        {file("", "", "\r\n", "", "", "", " "), writtenBy("T-Flex CAD", kNothingKnown), kSpaceZUp},
        {file("x", "", "\r\n", "", "", "", " "), kNothingKnown, kSpaceZUp},
        {file("ascii", "", "\r\n", "  ", "    ", "      ", "", "   "), writtenBy("Autodesk 123D"), kSpaceZUp},
        {file("ASCII", "", "\r\n", "  ", "    ", "      ", "", "   "), writtenBy("Autodesk Fusion 360"), kSpaceYUp},
        {file("Ascii", "", "\r\n", "  ", "    ", "      ", "", "   "), kNothingKnown, kSpaceZUp},
        // The scan stops 33 bytes before min(size, 768): a pattern past that is not seen.
        {late, kNothingKnown, kSpaceZUp},
    };
    for (const auto& c : cases) {
        Parsed parsed(c.text);
        EXPECT_EQ(parsed.lines, c.lines) << c.text;
        EXPECT_EQ(parsed.result.provenance.coordinateSpace, c.space) << c.text;
    }
}
