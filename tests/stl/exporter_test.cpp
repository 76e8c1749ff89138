#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "stl/detect.h"
#include "stl/exporter.h"
#include "stl/provenance.h"
#include "support/sinks.h"

namespace {

// What identification tells of a file, as the lines a user reads, and the provenance.
struct Identified {
    std::vector<u8> file;  // exact size; names point into it
    LoadHeap heap = createLoadHeap();
    LoadResult result = {};
    TranslatingSink chain;  // the lines: chain.narrowLines()

    // ASCII: the whole parse (the reader, then identification) and the load's own defaults,
    // which speak only where identification left a gap.
    explicit Identified(const std::string& text) : file(text.begin(), text.end()) {
        EXPECT_TRUE(parseStl(&result, kFormatAscii, file.data(), file.data() + file.size(), heap, &chain.sink)) << text;
        applyLoadDefaults(&result.provenance, &chain.sink);
    }
    // Binary: the header padded to 80 bytes with `fill`, then `after` (a count of 0 when not given).
    Identified(std::string header, char fill, const std::string& after = std::string(4, '\0')) {
        header.resize(kBinaryHeaderBytes, fill);
        header += after;
        file.assign(header.begin(), header.end());
        StlMesh mesh = {file.data(), nullptr, 0};
        identifyBinaryExporter(&mesh, &result.provenance, file.data() + file.size(), &chain.sink);
    }
    ~Identified() { destroyLoadHeap(heap); }
};

// The lines identification ends with when it learns nothing of axis or unit.
const std::string kZUpWarning = "STL warning: unknown coordinate space; assuming Z up";
const std::string kUnitWarning = "STL warning: unknown unit; assuming milimeters";
const std::vector<std::string> kNothingKnown = {kZUpWarning, kUnitWarning};

std::vector<std::string> writtenBy(const std::string& name, std::vector<std::string> more = {}) {
    more.insert(more.begin(), "STL info: written by " + name);
    return more;
}

// Two facets, with each exporter's line ends and indentation where the layout is tested.
std::string file(const std::string& name, const std::string& end = "", const std::string& eol = "\n",
                 const std::string& facetIndent = "", const std::string& loopIndent = "", const std::string& vertexIndent = "",
                 const std::string& afterLoop = "", const std::string& afterVertex = " ") {
    std::string facet = facetIndent + "facet normal 0 0 1" + eol + loopIndent + "outer loop" + afterLoop + eol;
    for (const char* v : {"0 0 0", "1 0 0", "0 1 0"})
        facet += vertexIndent + "vertex" + afterVertex + v + eol;
    facet += loopIndent + "endloop" + eol + facetIndent + "endfacet" + eol;
    return "solid " + name + eol + facet + facet + (end.empty() ? "endsolid " + name + eol : end);
}

}  // namespace

// The first solid's name, how the file ends, and the layout of the first facets.
TEST(AsciiExporter, NamesEndingsAndLayouts) {
    const std::string aoi = "\"Object-0\"; Produced by Art of Illusion 3.0.3, Sat Dec 02 10:00:00 CET 2023";
    const std::tuple<std::string, std::vector<std::string>, CoordinateSpace> cases[] = {
        {file("CAD Exchanger 3.9"), writtenBy("CAD Exchanger", {kUnitWarning}), kSpaceYUp},
        {file("created by TurboCAD"), writtenBy("IMSI/Design TurboCAD", kNothingKnown), kSpaceZUp},
        {file("STL file created by Vectorworks 2023"), writtenBy("Vectorworks 2023",
            {"STL info: unknown coordinate space; defaulting to Z up", "STL info: unknown unit; defaulting to milimeters"}), kSpaceZUp},
        {file("CATIA STL"), writtenBy("Dassault CATIA Digitized Shape Editor"), kSpaceZUp},
        {file("MYSOLID created by IVREAD"), writtenBy("IVREAD", kNothingKnown), kSpaceZUp},
        {file("MYSOLID"), writtenBy("IVCON/IVREAD", kNothingKnown), kSpaceZUp},
        {file("MYSOLID01"), kNothingKnown, kSpaceZUp},
        {file("\"Part<stl unit=MM>\""), writtenBy("ANSYS SpaceClaim"), kSpaceZUp},
        {file("Part<stl unit=MM>\""), kNothingKnown, kSpaceZUp},
        {file(aoi), writtenBy("Art of Illusion 3.0.3", {"STL info: written Sat Dec 02 10:00:00 CET 2023", kZUpWarning}), kSpaceZUp},
        {file(aoi.substr(0, 46)), writtenBy("Art of Illusion 3.0.3", {kZUpWarning}), kSpaceZUp},  // no date: fewer than 66 bytes left
        {file(aoi.substr(0, 45)), kNothingKnown, kSpaceZUp},
        // The ending decides before the name does.
        {file("CATIA STL", "end solid\r\n"), {"STL warning: found 'end solid' instead of 'endsolid'", "STL info: written by IRONCAD"}, kSpaceZUp},
        {file("x", "", "\r\n", "", "  ", "    "), writtenBy("SketchUp", kNothingKnown), kSpaceZUp},
        {file("x", "", "\r\n", " ", "  ", "   "), writtenBy("Visualization Toolkit"), kSpaceZUp},
        {file("x", "", "\r\n", " ", "  ", "    "), writtenBy("Autodesk Netfabb"), kSpaceZUp},
        {file("", "", "\r\n", "", "", "", " "), writtenBy("T-Flex CAD", kNothingKnown), kSpaceZUp},
        {file("x", "", "\r\n", "", "", "", " "), kNothingKnown, kSpaceZUp},
        {file("ascii", "", "\r\n", "  ", "    ", "      ", "", "   "), writtenBy("Autodesk 123D"), kSpaceZUp},
        {file("ASCII", "", "\r\n", "  ", "    ", "      ", "", "   "), writtenBy("Autodesk Fusion 360"), kSpaceYUp},
        {file("Ascii", "", "\r\n", "  ", "    ", "      ", "", "   "), kNothingKnown, kSpaceZUp},
        // The scan stops 33 bytes before min(size, 768): a pattern past that is not seen.
        {file("", "", "\r\n", std::string(800, ' '), "", "", " "), kNothingKnown, kSpaceZUp},
    };
    for (const auto& [text, lines, space] : cases) {
        Identified id(text);
        EXPECT_EQ(id.chain.narrowLines(), lines) << text;
        EXPECT_EQ(std::make_pair(id.result.provenance.coordinateSpace, +id.result.provenance.metresPerUnit), std::make_pair(space, kMetresPerMillimetre))
            << text;
    }
    Identified spaceClaim(file("\"Part<stl unit=MM>\""));
    FileText name = spaceClaim.result.mesh.solids[0].name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name.bytes), name.length), "Part") << "the solid's name loses its quotes and tag";
}

// Signature rows and the tests a row cannot express. The table's order is checked where
// it is built; its rows exercise the matching: a prefix with anything after it (the header
// is padded with blanks), control bytes, a whole header, and each effect (axis, unit, colour
// order, none). Each test is taken on the header that makes it hold and, where it matters,
// on one that just fails it. COLOR= gives the material colour, made opaque for the rows and
// tests that say so.
TEST(BinaryExporter, Headers) {
    std::string atEdge = "\"" + std::string(77, 'x') + "\"x";  // q = 78: the byte at q + 2 is the first after the header
    const std::vector<std::string> archiCad = writtenBy("ArchiCAD");
    const std::string badArchiCad = "STL warning: bad ArchiCAD metadata (unknown ", scaling = "); scaling may be incorrect";
    const std::string keyword70(70, ' ');
    const struct {
        std::string header;
        char fill;
        std::vector<std::string> lines;
        std::string modelName;
        CoordinateSpace space = kSpaceZUp;
        ColourOrder order = kColourNotStated;
        u32 colour = 0;
        f32 unit = kMetresPerMillimetre;
        std::string after = std::string(4, '\0');  // a triangle count of 0
    } cases[] = {
        {"STLB ASM 218 part", ' ', writtenBy("Autodesk Inventor 2012", {kUnitWarning}), "", kSpaceYUp},
        {"Created by 3DBrowser (www.mootools.com)", ' ', writtenBy("3DBrowser"), "", kSpaceZUp, kColourRgb},
        {std::string("Stratasys stl COLOR=\x10\x20\x30\x40", 24), ' ', writtenBy("Stratasys"), "", kSpaceZUp, kColourNotStated, 0x40302010},
        {std::string("Exported from Chrome 3DView COLOR=\x01\x02\x03\x04", 38), 0, writtenBy("3DView Chrome App", kNothingKnown), "",
         kSpaceZUp, kColourNotStated, 0xFF030201},
        {"STLEXP teapot", 0, writtenBy("Autodesk 3ds Max"), "teapot"},
        {"Exported from Blender-2.79 ", 0, writtenBy("Blender 2.79", {kUnitWarning})},
        {"Exported from Blender-10 ", 0, writtenBy("Blender _.__", {kUnitWarning})},
        {"Binary STL output from Blender: C:\\models\\cube.stl", ' ',
         writtenBy("Blender", {"STL info: written to \"C:\\models\\cube.stl\"", kUnitWarning})},
        {"CAD Exchanger 3.9.1 build", ' ', writtenBy("CAD Exchanger 3.9.1", {kUnitWarning})},
        {"CURA BINARY STL EXPORT. Tue 05 Dec 2023 12:00:00 trailing", 0,
         writtenBy("Ultimaker Cura", {"STL info: written Tue 05 Dec 2023 12:00:00"})},
        {"", 0, writtenBy("Onshape or Microsoft 3D Builder")},
        {std::string("COLOR=\x11\x22\x33\x44MATERIAL=\x01\x02\x03\x04xxxxxxx ", 31), 'y', writtenBy("OpenSCAD"), "", kSpaceZUp, kColourNotStated, 0xFF332211},
        {"Rhinoceros Binary STL ( Dec  5 2023 ) x", 0, writtenBy("Rhino", {"STL info: written Dec  5 2023"})},
        {"Rhinoceros Binary STL (no date)", 0, writtenBy("Rhino")},
        {"solid bracket", 0, writtenBy("unknown (solid zero)", {kUnitWarning}), "bracket", kSpaceYUp},
        {std::string("solid part\0STL Output", 21), 0, writtenBy("unknown (STL Output)", kNothingKnown), "part"},
        {"solid assembly", ' ', writtenBy("SketchUp or SolidWorks", kNothingKnown), "assembly"},
        {std::string("COLOR=\x7F\x00\x10\x10", 10), 0, writtenBy("Autodesk Tinkercad"), "", kSpaceZUp, kColourRgb, 0x1010007F},
        {"gear" + std::string(71, ' ') + "3DV*", ' ', writtenBy("unknown (3DV)", kNothingKnown), "gear"},
        {"D:\\parts\\bracket.stl" + std::string(49, '_') + "_COLOR", ' ', writtenBy("Materialise VisCAM", {"STL info: written to \"D:\\parts\\bracket.stl\"", kZUpWarning, kUnitWarning}),
         "", kSpaceZUp, kColourBgr},
        {"C:\\work\\model.stl", 0, {"STL info: written to \"C:\\work\\model.stl\"", kZUpWarning, kUnitWarning}},
        {"C:\\work\\model.stl", 'x', kNothingKnown},
        {"\"Housing<stl unit=INCHES>\"", 0, writtenBy("ANSYS SpaceClaim"), "Housing", kSpaceZUp, kColourNotStated, 0, kMetresPerInch},
        {"\"Cube\"; Produced by Art of Illusion 3.0.3, Sat Dec 02 10:00:00 CET 2023", ' ',
         writtenBy("Art of Illusion 3.0.3", {"STL info: written Sat Dec 02 10:00:00 CET 2023", kZUpWarning}), "Cube"},
        {"\"Widget\"", 0, writtenBy("DesignSpark (RS Components)"), "Widget"},  // a NUL two bytes after the quote
        {"\"Widget", 'w', writtenBy("DesignSpark (RS Components)"), "Widget" + std::string(73, 'w')},
        {"\"Widget\" and more", ' ', kNothingKnown, "Widget"},
        {atEdge, ' ', writtenBy("DesignSpark (RS Components)"), std::string(77, 'x')},
        {atEdge, ' ', kNothingKnown, std::string(77, 'x'), kSpaceZUp, kColourNotStated, 0, kMetresPerMillimetre, std::string("A\0\0\0", 4)},
        {"ArchiCAD_STL_Unit=MM_Scale=100", 0, archiCad, "", kSpaceZUp, kColourNotStated, 0, 0.1f},
        {"ArchiCAD_STL_Unit=CM_", 0, archiCad, "", kSpaceZUp, kColourNotStated, 0, 0.01f},
        {"ArchiCAD_STL_Unit=KM_Scale=5", 0, {badArchiCad + "unit" + scaling, archiCad[0]}, "", kSpaceZUp, kColourNotStated, 0, 1.0f},
        {"ArchiCAD_STL_Unit=M_Scale=0", 0, {badArchiCad + "scale factor" + scaling, archiCad[0]}, "", kSpaceZUp, kColourNotStated, 0, 1.0f},
        // Ten digits, taken as a 32-bit integer.
        {"ArchiCAD_STL_Unit=M_Scale=123456789012", 0, archiCad, "", kSpaceZUp, kColourNotStated, 0, 1234567890.0f},
        {"ArchiCAD_STL", 0, archiCad, "", kSpaceZUp, kColourNotStated, 0, 1.0f},
        // Unit keywords: the last wins, over the table's and ArchiCAD's units too; one leaves no
        // unit to default. One at offset 70 runs past the header: it counts when the file holds
        // its bytes. Offset 71 is not scanned.
        {"ArchiCAD_STL_Unit=MM_Scale=100 Units=cm", 0, archiCad, "", kSpaceZUp, kColourNotStated, 0, kMetresPerCentimetre},
        {"Units=mm and then units are inches", ' ', {kZUpWarning}, "", kSpaceZUp, kColourNotStated, 0, kMetresPerInch},
        {"Stratasys stl Units=cm", ' ', writtenBy("Stratasys"), "", kSpaceZUp, kColourNotStated, 0, kMetresPerCentimetre},
        {keyword70 + "units are ", ' ', {kZUpWarning}, "", kSpaceZUp, kColourNotStated, 0, kMetresPerInch, "inches"},
        {keyword70 + "units are ", ' ', kNothingKnown, "", kSpaceZUp, kColourNotStated, 0, kMetresPerMillimetre, "inch"},
        {keyword70 + "Unit=MM", ' ', {kZUpWarning}},
        {" " + keyword70 + "Units=mm", ' ', kNothingKnown},
    };
    for (const auto& c : cases) {
        Identified id(c.header, c.fill, c.after);
        const FileProvenance& p = id.result.provenance;
        EXPECT_EQ(id.chain.narrowLines(), c.lines) << c.header;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.modelName.bytes), p.modelName.length), c.modelName) << c.header;
        EXPECT_EQ(std::make_tuple(p.coordinateSpace, p.colourOrder, +p.materialColour, +p.metresPerUnit),
                  std::make_tuple(c.space, c.order, c.colour, c.unit)) << c.header;
    }
}
