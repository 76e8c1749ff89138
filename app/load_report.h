// The report of one load, as the console tool prints it: readable text or a JSON object.
#pragma once

#include "app/text_output.h"
#include "diag/messages.h"
#include "stl/records.h"

struct LoadOutcome {
    const Utf16* path;
    bool loaded;
    StlFormat format;           // kFormatUnknown when the file is not STL or could not be read
    const LoadResult* result;   // null unless loaded
    const MessageText* messages;
};

void writeLoadJson(TextOutput* out, const LoadOutcome* outcome);
void writeLoadText(TextOutput* out, const LoadOutcome* outcome);
