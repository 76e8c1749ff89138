#include "stl/provenance.h"

namespace {

bool hasBytes(const u8* at, const char* text, u64 length) {
    return __builtin_memcmp(at, text, length) == 0;
}

template <u64 N>
bool startsWith(const u8* begin, const u8* end, const char (&text)[N]) {
    return u64(end - begin) >= N - 1 && hasBytes(begin, text, N - 1);
}

bool isUnknownUnit(f32 metresPerUnit) {
    return metresPerUnit != metresPerUnit;
}

void reportUtf16(const ReportSink* sink, const Utf16* text) {
    if (sink)
        report(sink, kUtf16Text, reinterpret_cast<uptr>(text));
}

}  // namespace

const char kArtOfIllusionSignature[] = "\"; Produced by Art of Illusion";
static_assert(sizeof(kArtOfIllusionSignature) - 1 == kArtOfIllusionSignatureBytes);

void reportExporter(const ReportSink* sink, const char* name) {
    if (sink)
        report(sink, kWrittenBy, reinterpret_cast<uptr>(name));
}

void setZUpMillimetres(FileProvenance* provenance) {
    provenance->coordinateSpace = kSpaceZUp;
    provenance->metresPerUnit = kMetresPerMillimetre;
}

void initialiseProvenance(FileProvenance* provenance, ColourOrder colourOrder) {
    provenance->coordinateSpace = kSpaceUnknown;
    provenance->metresPerUnit = kUnknownUnit;
    provenance->colourOrder = colourOrder;
    provenance->materialColour = 0;
    provenance->modelName.length = 0;  // the pointer is left: a name of length 0 is empty
    provenance->modelName.codePage = 0;
}

void reportText(const ReportSink* sink, ResultCode code, const u8* bytes, u32 length, u32 codePage) {
    if (!sink)
        return;
    FileText text = {bytes, length, codePage};
    report(sink, code, reinterpret_cast<uptr>(&text));
}

bool matchSpaceClaimName(const u8* begin, const u8* end, FileText* name, FileProvenance* provenance,
                         const ReportSink* sink) {
    u64 length = u64(end - begin);
    if (length == 0 || *begin != '"')
        return false;
    u64 tagBytes;
    f32 unit;
    if (length >= 15 && hasBytes(end - 14, "<stl unit=MM>\"", 14)) {
        tagBytes = 14;
        unit = kMetresPerMillimetre;
    } else if (length >= 19 && hasBytes(end - 18, "<stl unit=INCHES>\"", 18)) {
        tagBytes = 18;
        unit = kMetresPerInch;
    } else {
        return false;
    }
    provenance->metresPerUnit = unit;
    *name = FileText{begin + 1, u32(length - 1 - tagBytes), 0};
    provenance->coordinateSpace = kSpaceZUp;
    reportExporter(sink, "ANSYS SpaceClaim");
    return true;
}

void reportArtOfIllusion(const u8* quote, u64 bytesLeft, const ReportSink* sink) {
    char version[kArtOfIllusionVersionBytes + 1];
    __builtin_memcpy(version, quote + kArtOfIllusionVersionOffset, kArtOfIllusionVersionBytes);
    version[kArtOfIllusionVersionBytes] = 0;
    reportExporter(sink, version);
    if (bytesLeft >= kArtOfIllusionDateEnd)
        reportText(sink, kWrittenText, quote + kArtOfIllusionDateOffset, kArtOfIllusionDateBytes, kCodePageUsAscii);
}

u32 readArchiCadMetadata(const u8* header, FileProvenance* provenance, const ReportSink* sink) {
    f32 unitFactor = 1.0f;
    f32 scaleFactor = 1.0f;
    const u8* position = header;
    if (hasBytes(header, "ArchiCAD_STL_Unit=", 18)) {
        if (hasBytes(header + 18, "M_", 2)) {
            position = header + 20;
        } else if (hasBytes(header + 18, "MM_", 3)) {
            unitFactor = kMetresPerMillimetre;
            position = header + 21;
        } else if (hasBytes(header + 18, "CM_", 3)) {
            unitFactor = kMetresPerCentimetre;
            position = header + 21;
        } else if (sink) {
            report(sink, kBadArchiCadUnit);
        }
    }
    // The position is at most offset 21, so "Scale=" and ten digits stay inside the header.
    if (hasBytes(position, "Scale=", 6)) {
        const u8* digit = position + 6;
        u64 number = 0;
        u32 count = 0;
        for (; count < 10 && u8(digit[count] - '0') < 10; ++count)
            number = number * 10 + (digit[count] - '0');
        if (number != 0) {
            // Ten digits may exceed 32 bits; the low 32 bits are taken as a signed integer,
            // which is exact for every scale an ArchiCAD user can type (up to 2^31 - 1)
            // and some number, never a crash, for the rest.
            scaleFactor = f32(i32(u32(number)));
        } else if (sink) {
            report(sink, kBadArchiCadScale);
        }
    }
    provenance->metresPerUnit = scaleFactor * unitFactor;
    provenance->coordinateSpace = kSpaceZUp;
    reportExporter(sink, "ArchiCAD");
    return u32(position - header);
}

void scanHeaderUnitsAndColour(const u8* header, const u8* fileEnd, bool opaqueColour, u32 unitScanStart,
                              FileProvenance* provenance) {
    struct UnitKeyword {
        const char* text;
        u8 length;
        u8 unit;  // 0 inch, 1 centimetre, 2 millimetre
    };
    static const UnitKeyword keywords[] = {
        {"Units=Inch", 10, 0}, {"UNITS=INCH", 10, 0}, {"units are inches", 16, 0}, {"Units=cm", 8, 1},
        {"Unit=CM", 7, 1},     {"Units=mm", 8, 2},    {"UNITS=MM", 8, 2},          {"Unit=MM", 7, 2},
    };
    const f32 units[] = {kMetresPerInch, kMetresPerCentimetre, kMetresPerMillimetre};
    for (const u8* at = header; at <= header + 70; ++at) {
        if (hasBytes(at, "COLOR=", 6)) {
            u32 colour = loadU32(at + 6);
            if (opaqueColour)
                colour |= 0xFF000000u;
            provenance->materialColour = colour;
            continue;
        }
        if (at < header + unitScanStart)
            continue;
        for (const UnitKeyword& keyword : keywords) {
            if (u64(fileEnd - at) >= keyword.length && hasBytes(at, keyword.text, keyword.length)) {
                provenance->metresPerUnit = units[keyword.unit];
                break;
            }
        }
    }
}

void applyProvenanceDefaults(FileProvenance* provenance, const ReportSink* sink) {
    if (provenance->coordinateSpace == kSpaceUnknown) {
        provenance->coordinateSpace = kSpaceZUp;
        if (sink)
            report(sink, kUnknownSpaceAssumingZUp);
    }
    if (isUnknownUnit(provenance->metresPerUnit)) {
        provenance->metresPerUnit = kMetresPerMillimetre;
        if (sink)
            report(sink, kUnknownUnitAssumingMillimetres);
    }
}

void applyLoadDefaults(FileProvenance* provenance, const ReportSink* sink) {
    if (provenance->coordinateSpace == kSpaceUnknown) {
        reportUtf16(sink, u"STL info: unknown coordinate space; defaulting to Z up");
        provenance->coordinateSpace = kSpaceZUp;
    }
    f32 unit = provenance->metresPerUnit;
    if (!(unit < __builtin_inff() && unit > -__builtin_inff())) {
        reportUtf16(sink, u"STL info: unknown unit; defaulting to milimeters");
        provenance->metresPerUnit = kMetresPerMillimetre;
    }
}
