#include <gtest/gtest.h>

#include <string>

#include "stl/exporter.h"
#include "stl/provenance.h"
#include "support/exact_bytes.h"
#include "support/sinks.h"

namespace {

struct Identified {
    ExactBytes file;  // the model name points into it
    std::vector<std::string> lines;
    FileProvenance provenance = {};
    std::string modelName() const {
        return std::string(reinterpret_cast<const char*>(provenance.modelName.bytes), provenance.modelName.length);
    }
};

// The header padded to 80 bytes with `fill`, then `after` (a count of 0 when not given).
Identified identify(const std::string& header, char fill = '\0', const std::string& after = std::string(4, '\0')) {
    std::string bytes = header.substr(0, kBinaryHeaderBytes);
    bytes.resize(kBinaryHeaderBytes, fill);
    Identified out = {ExactBytes(bytes + after), {}};
    StlMesh mesh = {out.file.begin(), nullptr, 0};
    TranslatingSink chain;
    identifyBinaryExporter(&mesh, &out.provenance, out.file.end(), &chain.sink);
    out.lines = chain.narrowLines();
    return out;
}

const std::vector<std::string> kNothingKnown = {kZUpWarning, kUnitWarning};

}  // namespace

// The table's order is checked where it is built; these rows exercise its matching: a prefix
// with anything after it, a shorter signature after longer ones that begin with it, control
// bytes, a whole header, and each effect (axis, unit, colour order, none).
TEST(BinaryExporter, SignatureRows) {
    const struct {
        std::string header;
        std::vector<std::string> lines;
        CoordinateSpace space;
        ColourOrder order;
    } rows[] = {
        {"STLB ASM 218 part", writtenBy("Autodesk Inventor 2012", {kUnitWarning}), kSpaceYUp, kColourNotStated},
        {"STLB ASM 300", writtenBy("Autodesk Inventor", {kUnitWarning}), kSpaceYUp, kColourNotStated},
        {"Created by 3DBrowser (www.mootools.com)", writtenBy("3DBrowser"), kSpaceZUp, kColourRgb},
        {"STL File created by netfabb - http://www.netfabb.com ", writtenBy("Autodesk Netfabb", {kUnitWarning}), kSpaceZUp, kColourNotStated},
        {"Exported from Chrome 3DView", writtenBy("3DView Chrome App", kNothingKnown), kSpaceZUp, kColourNotStated},
        {"Binary STL\r\nUnit=MM\r\nFlavor=RUHRSOURCE\r\n", writtenBy("RUHRSOURCE CUR3D"), kSpaceZUp, kColourNotStated},
        {"MESH-MESH-MESH-MESH-MESH-MESH-MESH-MESH-MESH-MESH-MESH-MESH-MESH-MESH-MESH-MESH\n", writtenBy("FreeCAD"), kSpaceZUp, kColourNotStated},
        {"Stratasys st", kNothingKnown, kSpaceZUp, kColourNotStated},
    };
    for (const auto& row : rows) {
        for (char fill : {'\0', ' '}) {
            Identified id = identify(row.header, fill);
            EXPECT_EQ(id.lines, row.lines) << row.header;
            EXPECT_EQ(id.provenance.coordinateSpace, row.space) << row.header;
            EXPECT_EQ(+(id.provenance.metresPerUnit), kMetresPerMillimetre) << row.header;
            EXPECT_EQ(+(id.provenance.colourOrder), row.order) << row.header;
        }
    }
}

// The tests a row cannot express, each on the header that makes it hold and where it matters
// on one that just fails it.
TEST(BinaryExporter, HeaderTests) {
    std::string viscam = "D:\\parts\\bracket.stl";
    viscam.resize(69, '_');
    std::string threeDv = "gear";
    threeDv.resize(75, ' ');
    std::string atEdge = "\"" + std::string(77, 'x') + "\"x";  // q = 78: the byte at q + 2 is the first after the header
    const struct {
        std::string header;
        char fill;
        std::vector<std::string> lines;
        std::string modelName;
        CoordinateSpace space;
        std::string after;
    } cases[] = {
        {"STLEXP teapot", 0, writtenBy("Autodesk 3ds Max"), "teapot"},
        {"Exported from Blender-2.79 ", 0, writtenBy("Blender 2.79", {kUnitWarning})},
        {"Exported from Blender-10 ", 0, writtenBy("Blender _.__", {kUnitWarning})},
        {"Binary STL output from Blender: C:\\models\\cube.stl", ' ',
         writtenBy("Blender", {"STL info: written to \"C:\\models\\cube.stl\"", kUnitWarning})},
        {"CAD Exchanger 3.9.1 build", ' ', writtenBy("CAD Exchanger 3.9.1", {kUnitWarning})},
        {"CURA BINARY STL EXPORT. Tue 05 Dec 2023 12:00:00 trailing", 0,
         writtenBy("Ultimaker Cura", {"STL info: written Tue 05 Dec 2023 12:00:00"})},
        {"flashforge stl export 1, 2023-12-05 12:00 rest", 0, writtenBy("Flashforge", {"STL info: written 2023-12-05 12:00 "})},
        {"", 0, writtenBy("Onshape or Microsoft 3D Builder")},
        {"Rhinoceros Binary STL ( Dec  5 2023 ) x", 0, writtenBy("Rhino", {"STL info: written Dec  5 2023"})},
        {"Rhinoceros Binary STL (no date)", 0, writtenBy("Rhino")},
        {"solid bracket", 0, writtenBy("unknown (solid zero)", {kUnitWarning}), "bracket", kSpaceYUp},
        {std::string("solid part\0STL Output", 21), 0, writtenBy("unknown (STL Output)", kNothingKnown), "part"},
        {"solid assembly", ' ', writtenBy("SketchUp or SolidWorks", kNothingKnown), "assembly"},
        {threeDv + "3DV*", ' ', writtenBy("unknown (3DV)", kNothingKnown), "gear"},
        {viscam + "_COLOR", ' ', writtenBy("Materialise VisCAM", {"STL info: written to \"D:\\parts\\bracket.stl\"", kZUpWarning, kUnitWarning})},
        {"C:\\work\\model.stl", 0, {"STL info: written to \"C:\\work\\model.stl\"", kZUpWarning, kUnitWarning}},
        {"C:\\work\\model.stl", 'x', kNothingKnown},
        {"\"Housing<stl unit=INCHES>\"", 0, writtenBy("ANSYS SpaceClaim"), "Housing"},
        {"\"Cube\"; Produced by Art of Illusion 3.0.3, Sat Dec 02 10:00:00 CET 2023", ' ',
         writtenBy("Art of Illusion 3.0.3", {"STL info: written Sat Dec 02 10:00:00 CET 2023", kZUpWarning}), "Cube"},
        {"\"Widget\"", 0, writtenBy("DesignSpark (RS Components)"), "Widget"},  // a NUL two bytes after the quote
        {"\"Widget", 'w', writtenBy("DesignSpark (RS Components)"), "Widget" + std::string(73, 'w')},
        {"\"Widget\" and more", ' ', kNothingKnown, "Widget"},
        {atEdge, ' ', writtenBy("DesignSpark (RS Components)"), std::string(77, 'x')},
        {atEdge, ' ', kNothingKnown, std::string(77, 'x'), kSpaceZUp, std::string("A\0\0\0", 4)},
    };
    for (const auto& c : cases) {
        Identified id = identify(c.header, c.fill, c.after.empty() ? std::string(4, '\0') : c.after);
        EXPECT_EQ(id.lines, c.lines) << c.header;
        EXPECT_EQ(id.modelName(), c.modelName) << c.header;
        EXPECT_EQ(id.provenance.coordinateSpace, c.space == kSpaceUnknown ? kSpaceZUp : c.space) << c.header;
    }
    EXPECT_EQ(+(identify("\"Housing<stl unit=INCHES>\"").provenance.metresPerUnit), kMetresPerInch);
    EXPECT_EQ(+(identify(viscam + "_COLOR", ' ').provenance.colourOrder), kColourBgr);
}

// COLOR= gives the material colour, made opaque for the rows and tests that say so.
TEST(BinaryExporter, MaterialColours) {
    std::string openscad = std::string("COLOR=\x11\x22\x33\x44MATERIAL=\x01\x02\x03\x04", 23);
    openscad.resize(30, 'x');
    const struct {
        std::string header;
        char fill;
        std::string exporter;
        ColourOrder order;
        u32 colour;
    } cases[] = {
        {std::string("Materialise Coloured STL File COLOR=\x10\x20\x30\x40", 40), ' ', "Materialise Magics", kColourNotStated, 0xFF302010},
        {std::string("Stratasys stl COLOR=\x10\x20\x30\x40", 24), ' ', "Stratasys", kColourNotStated, 0x40302010},
        {std::string("Exported from Chrome 3DView COLOR=\x01\x02\x03\x04", 38), 0, "3DView Chrome App", kColourNotStated, 0xFF030201},
        {std::string("COLOR=\x11\x22\x33\x44,MATERIAL=", 20), 0, "Materialise Magics", kColourRgb, 0x44332211},
        {openscad + " ", 'y', "OpenSCAD", kColourNotStated, 0xFF332211},
        {std::string("COLOR=\x7F\x00\x10\x10", 10), 0, "Autodesk Tinkercad", kColourRgb, 0x1010007F},
    };
    for (const auto& c : cases) {
        Identified id = identify(c.header, c.fill);
        EXPECT_EQ(id.lines.at(0), "STL info: written by " + c.exporter) << c.exporter;
        EXPECT_EQ(+(id.provenance.colourOrder), c.order) << c.exporter;
        EXPECT_EQ(+(id.provenance.materialColour), c.colour) << c.exporter;
    }
}

TEST(BinaryExporter, ArchiCadMetadata) {
    const std::string badUnit = "STL warning: bad ArchiCAD metadata (unknown unit); scaling may be incorrect";
    const std::string badScale = "STL warning: bad ArchiCAD metadata (unknown scale factor); scaling may be incorrect";
    const struct {
        const char* header;
        f32 metres;
        std::vector<std::string> warnings;
    } cases[] = {
        {"ArchiCAD_STL_Unit=MM_Scale=100", 0.1f, {}},
        {"ArchiCAD_STL_Unit=CM_", 0.01f, {}},
        {"ArchiCAD_STL_Unit=M_Scale=2", 2.0f, {}},
        {"ArchiCAD_STL_Unit=KM_Scale=5", 1.0f, {badUnit}},
        {"ArchiCAD_STL_Unit=M_Scale=0", 1.0f, {badScale}},
        {"ArchiCAD_STL_Unit=M_Scale=123456789012", 1234567890.0f, {}},  // ten digits, taken as a 32-bit integer
        {"ArchiCAD_STL", 1.0f, {}},
        {"ArchiCAD_STL_Unit=MM_Scale=100 Units=cm", 0.01f, {}},
    };
    for (const auto& c : cases) {
        Identified id = identify(c.header);
        std::vector<std::string> expected = c.warnings;
        expected.push_back("STL info: written by ArchiCAD");
        EXPECT_EQ(id.lines, expected) << c.header;
        EXPECT_EQ(+(id.provenance.metresPerUnit), c.metres) << c.header;
        EXPECT_EQ(id.provenance.coordinateSpace, kSpaceZUp);
    }
}

TEST(BinaryExporter, UnitKeywordsInTheHeader) {
    EXPECT_EQ(+(identify("Units=mm and then units are inches", ' ').provenance.metresPerUnit), kMetresPerInch) << "last wins";
    EXPECT_EQ(+(identify("Stratasys stl Units=cm", ' ').provenance.metresPerUnit), kMetresPerCentimetre)
        << "a keyword overrides the table's unit";
    EXPECT_EQ(identify("x UNITS=INCH", ' ').lines, std::vector<std::string>{kZUpWarning}) << "a keyword leaves no unit to default";
    // A keyword at offset 70 runs past the header: it counts when the file holds its bytes.
    std::string header(70, ' ');
    EXPECT_EQ(+(identify(header + "units are ", ' ', "inches").provenance.metresPerUnit), kMetresPerInch);
    EXPECT_EQ(identify(header + "units are ", ' ', "inch").lines, kNothingKnown) << "a keyword past the end of the file";
    EXPECT_EQ(identify(header + "Unit=MM", ' ').lines.size(), 1u) << "offset 70 is scanned";
    EXPECT_EQ(identify(" " + header + "Units=mm", ' ').lines.size(), 2u) << "offset 71 is not scanned";
}
