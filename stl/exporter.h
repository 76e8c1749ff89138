#pragma once

#include "diag/report.h"
#include "stl/records.h"

// Names the program that wrote an ASCII file from its first solid's name, the end of the
// file and the layout of its first facets, and fills `provenance` with what follows from
// that. May rewrite the first solid's name (an ANSYS SpaceClaim name loses its tag).
void identifyAsciiExporter(StlMesh* mesh, FileProvenance* provenance, const u8* fileBegin, const u8* fileEnd,
                           const ReportSink* sink);

// The same for a binary file, from its 80-byte header at mesh->fileStart. Keywords of the
// header may run past it into the file, never past `fileEnd`.
void identifyBinaryExporter(const StlMesh* mesh, FileProvenance* provenance, const u8* fileEnd, const ReportSink* sink);
