// What a load learns about the program that wrote its file: up axis, unit, colour order,
// material colour and a model name, filled by the exporter identification of each
// encoding (exporter_ascii.cpp, exporter_binary.cpp) and completed by defaults.
#pragma once

#include "diag/report.h"
#include "stl/records.h"

// Given by their bits: the values are part of the file semantics, and constant
// initialisation needs no constructor to run before the entry point.
constexpr f32 kMetresPerMillimetre = __builtin_bit_cast(f32, 0x3A83126Fu);  // 0.001
constexpr f32 kMetresPerCentimetre = __builtin_bit_cast(f32, 0x3C23D70Au);  // 0.01
constexpr f32 kMetresPerInch = __builtin_bit_cast(f32, 0x3CD013A9u);        // 0.0254
constexpr f32 kUnknownUnit = __builtin_bit_cast(f32, 0xFFC00000u);          // NaN

// The state before identification: nothing known, the colour order of the encoding.
void initialiseProvenance(FileProvenance* provenance, ColourOrder colourOrder);

// Reports the exporter's name (kWrittenBy); nothing without a sink.
void reportExporter(const ReportSink* sink, const char* name);

// What most exporters imply: Z up, millimetres.
void setZUpMillimetres(FileProvenance* provenance);

// Reports `code` with a FileText of the three last arguments; nothing without a sink.
void reportText(const ReportSink* sink, ResultCode code, const u8* bytes, u32 length, u32 codePage);

// An ANSYS SpaceClaim name: a double quote, the name, the tag "<stl unit=MM>" or
// "<stl unit=INCHES>", a double quote. On a match sets the unit and Z up, rewrites `name`
// to the part between the quote and the tag, reports the exporter and returns true.
bool matchSpaceClaimName(const u8* begin, const u8* end, FileText* name, FileProvenance* provenance,
                         const ReportSink* sink);

// The Art of Illusion signature text: a double quote and "; Produced by Art of Illusion".
// What follows it, as offsets from the quote: the program and its version from offset 15
// ("Art of Illusion 3.0.3"), a comma and a space, the export date.
extern const char kArtOfIllusionSignature[];
enum : u32 {
    kArtOfIllusionSignatureBytes = 30,
    kArtOfIllusionVersionOffset = 15,
    kArtOfIllusionVersionBytes = 21,
    kArtOfIllusionVersionEnd = kArtOfIllusionVersionOffset + kArtOfIllusionVersionBytes,  // 36
    kArtOfIllusionDateOffset = kArtOfIllusionVersionEnd + 2,
    kArtOfIllusionDateBytes = 28,
    kArtOfIllusionDateEnd = kArtOfIllusionDateOffset + kArtOfIllusionDateBytes,  // 66
};

// Reports the version and export date that follow the signature at `quote`; the caller
// has checked the signature and that at least kArtOfIllusionVersionEnd bytes remain from
// the quote. The date is reported when the bytes reach kArtOfIllusionDateEnd.
void reportArtOfIllusion(const u8* quote, u64 bytesLeft, const ReportSink* sink);

// The unit and scale of a header that begins with "ArchiCAD_STL": sets the unit and Z up
// and names the exporter; unknown metadata gets its warning. Returns the offset after the
// unit tag (0 when there is none).
u32 readArchiCadMetadata(const u8* header, FileProvenance* provenance, const ReportSink* sink);

// Scans header offsets 0 to 70 for "COLOR=" and unit keywords, which may run past the
// header into the file but not past `fileEnd`; the last match wins. Unit keywords that
// start before `unitScanStart` are not taken: they belong to metadata already read.
void scanHeaderUnitsAndColour(const u8* header, const u8* fileEnd, bool opaqueColour, u32 unitScanStart,
                              FileProvenance* provenance);

// Z up and millimetres where nothing else was learnt, each with its warning.
void applyProvenanceDefaults(FileProvenance* provenance, const ReportSink* sink);

// The load's own defaults, for the identification paths that end without the above: the
// same values, told as information lines rather than warnings.
void applyLoadDefaults(FileProvenance* provenance, const ReportSink* sink);
