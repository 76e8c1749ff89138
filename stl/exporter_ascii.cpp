// Exporter identification for ASCII files. An ASCII file has no header: what it offers is
// its first solid's name, how it ends, and how its exporter lays out the first facets.
#include "stl/exporter.h"
#include "stl/provenance.h"

namespace {

enum Outcome { kDone, kDefaults, kScan };

struct Name {
    const u8* bytes;
    u32 length;

    template <u64 N>
    bool is(const char (&text)[N]) const {
        return length == N - 1 && __builtin_memcmp(bytes, text, N - 1) == 0;
    }
    template <u64 N>
    bool beginsWith(const char (&text)[N]) const {
        return length >= N - 1 && __builtin_memcmp(bytes, text, N - 1) == 0;
    }
};

// Most exporters that a name tells imply Z up and millimetres, and nothing more is looked at.
Outcome zUpMillimetres(const char* exporter, FileProvenance* provenance, const ReportSink* sink) {
    reportExporter(sink, exporter);
    setZUpMillimetres(provenance);
    return kDone;
}

Outcome identifyByName(StlSolid* solid, FileProvenance* provenance, const ReportSink* sink) {
    Name name = {solid->name.bytes, solid->name.length};
    if (name.length == 0)
        return kScan;
    if (name.is("stl file generated from AC3D"))
        return zUpMillimetres("Inivis AC3D", provenance, sink);
    // The object's name, quoted, then the signature from its closing quote; the name must
    // reach past the version to the comma after it (46 bytes).
    const u32 quote = sizeof("\"Object-0") - 1;
    if (name.length >= quote + kArtOfIllusionVersionEnd + 1 && name.beginsWith("\"Object-0") &&
        __builtin_memcmp(name.bytes + quote, kArtOfIllusionSignature, kArtOfIllusionSignatureBytes) == 0) {
        provenance->metresPerUnit = kMetresPerMillimetre;
        reportArtOfIllusion(name.bytes + quote, name.length - quote, sink);
        return kDefaults;
    }
    if (name.beginsWith("CAD Exchanger ")) {
        reportExporter(sink, "CAD Exchanger");
        provenance->coordinateSpace = kSpaceYUp;
        return kDefaults;
    }
    if (name.is("shape, STL ascii file, created with Open CASCADE Technology")) {
        reportExporter(sink, "Open CASCADE Technology");
        provenance->coordinateSpace = kSpaceYUp;
        return kDefaults;
    }
    if (matchSpaceClaimName(name.bytes, name.bytes + name.length, &solid->name, provenance, sink))
        return kDefaults;
    bool mySolidTest = true;
    if (name.length == 19) {
        if (name.is("created by TurboCAD")) {
            reportExporter(sink, "IMSI/Design TurboCAD");
            return kDefaults;
        }
    } else if (name.length >= 32 && name.beginsWith("STL file created by Vectorworks")) {
        char exporter[65];
        u32 length = name.length - 20 < 64 ? name.length - 20 : 64;
        __builtin_memcpy(exporter, name.bytes + 20, length);
        exporter[length] = 0;
        reportExporter(sink, exporter);
        return kDone;  // neither axis nor unit: the load's own defaults apply
    } else if (name.length == 5) {
        return kScan;  // "ASCII" and "ascii" are told apart by the layout scan
    } else if (name.length == 9) {
        if (name.is("CATIA STL"))
            return zUpMillimetres("Dassault CATIA Digitized Shape Editor", provenance, sink);
        if (name.is("stl_item0"))
            return zUpMillimetres("Autodesk Tinkercad", provenance, sink);
        return kScan;
    } else {
        mySolidTest = name.length >= 7;
    }
    if (mySolidTest && name.beginsWith("MYSOLID")) {
        Name rest = {name.bytes + 7, name.length - 7};
        reportExporter(sink, rest.beginsWith(" created by IVCON")    ? "IVCON"
                    : rest.beginsWith(" created by IVREAD") ? "IVREAD"
                                                            : "IVCON/IVREAD");
        return kDefaults;
    }
    if (name.is("OpenSCAD_Model"))
        return zUpMillimetres("OpenSCAD", provenance, sink);
    return kScan;
}

// Marks of the first facets' layout, from offset 18 up to min(size, 768) - 33.
struct Layout {
    bool a, b, c, d, e, f;
};

template <u64 N>
bool at(const u8* position, const char (&text)[N]) {
    return __builtin_memcmp(position, text, N - 1) == 0;
}

Layout scanLayout(const u8* begin, const u8* end) {
    Layout marks = {};
    u64 size = u64(end - begin);
    u64 bound = (size < 768 ? size : 768);
    // Every pattern is at most 33 bytes, so a start below bound - 33 reads inside the file.
    for (u64 offset = 18; offset + 33 < bound; ++offset) {
        const u8* p = begin + offset;
        if (p[0] != '\r')
            continue;
        marks.a |= at(p, "\r\nf");
        marks.b |= at(p, "\r\n f");
        marks.c |= at(p, "\r\nouter loop \r\nv");
        marks.d |= at(p, "\r\n  outer loop\r\n   v");
        marks.e |= at(p, "\r\n  outer loop\r\n    v");
        marks.f |= at(p, "\r\n    outer loop\r\n      vertex   ");
    }
    return marks;
}

Outcome identifyByLayout(const StlSolid& solid, FileProvenance* provenance, const u8* begin, const u8* end,
                         const ReportSink* sink) {
    Layout marks = scanLayout(begin, end);
    Name name = {solid.name.bytes, solid.name.length};
    if (marks.a && marks.e) {
        reportExporter(sink, "SketchUp");
        return kDefaults;
    }
    if (marks.b && marks.d)
        return zUpMillimetres("Visualization Toolkit", provenance, sink);
    if (marks.b && marks.e)
        return zUpMillimetres("Autodesk Netfabb", provenance, sink);
    if (name.length == 0 && marks.c) {
        reportExporter(sink, "T-Flex CAD");
        return kDefaults;
    }
    if (marks.f && name.is("ascii"))
        return zUpMillimetres("Autodesk 123D", provenance, sink);
    if (marks.f && name.is("ASCII")) {
        reportExporter(sink, "Autodesk Fusion 360");
        provenance->coordinateSpace = kSpaceYUp;
        provenance->metresPerUnit = kMetresPerMillimetre;
        return kDone;
    }
    return kDefaults;
}

}  // namespace

void identifyAsciiExporter(StlMesh* mesh, FileProvenance* provenance, const u8* fileBegin, const u8* fileEnd,
                           const ReportSink* sink) {
    initialiseProvenance(provenance, kColourNone);
    Outcome outcome = kDefaults;
    if (mesh->solidCount != 0) {
        u64 size = u64(fileEnd - fileBegin);
        StlSolid* first = &mesh->solids[0];
        if (size >= 11 && __builtin_memcmp(fileEnd - 11, "end solid\r\n", 11) == 0)
            outcome = zUpMillimetres("IRONCAD", provenance, sink);
        else
            outcome = identifyByName(first, provenance, sink);
        if (outcome == kScan)
            outcome = identifyByLayout(*first, provenance, fileBegin, fileEnd, sink);
    }
    if (outcome == kDefaults)
        applyProvenanceDefaults(provenance, sink);
}
