// The report of one load, as the console tool prints it: readable text or a JSON object.
#pragma once

#include "app/text_output.h"
#include "diag/messages.h"
#include "stl/mesh_check.h"
#include "stl/records.h"

struct LoadOutcome {
    const Utf16* path;
    bool read;                  // the file could be opened and mapped
    bool loaded;
    StlFormat format;           // kFormatUnknown when the file is not STL or could not be read
    const LoadResult* result;   // null unless loaded
    const MessageText* messages;
    bool measured;              // the box below was taken (a loaded file whose vertices were prepared)
    f32 centre[3];              // metres
    f32 size[3];
    const Utf16* dimensions;    // the dimensions line, terminated
    const MeshCheck* mesh;      // null unless the mesh was checked
    const Utf16* meshText;      // its line, terminated
    bool rendering;             // pictures were asked for
    const Utf16* picture;       // the PNG written for the file, or null
    bool software;              // drawn by the software rasteriser
};

void writeLoadJson(TextOutput* out, const LoadOutcome* outcome);
void writeLoadText(TextOutput* out, const LoadOutcome* outcome);
