#include "app/load_report.h"

#include "format/digits.h"

namespace {

// Calls `line` for each CR LF ended line of the collected messages.
template <typename Visit>
void forEachMessage(const MessageText* messages, Visit line) {
    if (!messages->text)
        return;
    const Utf16* text = messages->text;
    u64 units = messages->bytes / sizeof(Utf16);
    u64 start = 0;
    for (u64 i = 0; i + 1 < units; ++i) {
        if (text[i] == u'\r' && text[i + 1] == u'\n') {
            line(text + start, i - start);
            start = i + 2;
            ++i;
        }
    }
}

const char* formatName(const LoadOutcome* outcome, bool json) {
    if (outcome->format == kFormatAscii)
        return json ? "\"ascii\"" : "ASCII STL";
    if (outcome->format == kFormatBinary)
        return json ? "\"binary\"" : "binary STL";
    return json ? "null" : outcome->read ? "not STL" : "not read";
}

// Where the picture went, and what drew it.
void appendPicture(TextOutput* out, const LoadOutcome* outcome, bool json) {
    if (!outcome->rendering)
        return;
    if (json) {
        appendText(out, ", \"picture\": ");
        if (outcome->picture)
            appendJsonString(out, outcome->picture, textLength(outcome->picture));
        else
            appendText(out, "null");
        appendText(out, outcome->software ? ", \"rasteriser\": \"software\"" : ", \"rasteriser\": \"hardware\"");
        return;
    }
    appendText(out, "  picture: ");
    if (!outcome->picture) {
        appendText(out, "none\n");
        return;
    }
    appendUtf16(out, outcome->picture, textLength(outcome->picture));
    appendText(out, outcome->software ? " (software rasteriser)\n" : " (GPU)\n");
}

const char* spaceName(CoordinateSpace space) {
    return space == kSpaceYUp ? "Y up" : space == kSpaceZUp ? "Z up" : "unknown";
}

const char* colourOrderName(ColourOrder order) {
    switch (order) {
    case kColourNone: return "none";
    case kColourNotStated: return "not stated";
    case kColourRgb: return "RGB";
    default: return "BGR";
    }
}

void appendHex32(TextOutput* out, u32 value) {
    char text[10] = {'0', 'x'};
    writeHex(text + 2, value, 8);
    appendBytes(out, text, 10);
}

// JSON has no spelling for an infinity or a NaN: a number that is not finite is written as
// null there. The text report keeps "inf" and "nan", which a reader understands.
void appendNumber(TextOutput* out, f32 value, bool json) {
    if (json && value - value != 0.0f)
        appendText(out, "null");
    else
        appendFloat(out, value);
}

void appendVector(TextOutput* out, const f32 v[3], bool json) {
    appendText(out, "[");
    for (int k = 0; k < 3; ++k) {
        appendText(out, k ? ", " : "");
        appendNumber(out, v[k], json);
    }
    appendText(out, "]");
}

// Twelve significant digits with an exponent ("6e-4", "1.6387064e-5"): a double as JSON
// reads it, as precise as any printer needs. Not finite: null.
void appendDouble(TextOutput* out, f64 value) {
    if (value - value != 0.0) {
        appendText(out, "null");
        return;
    }
    DecimalDigits d;
    generateDigits(value, 12, &d);
    appendText(out, d.negative && value != 0 ? "-" : "");
    appendBytes(out, d.digits, 1);
    if (d.count > 1) {
        appendText(out, ".");
        appendBytes(out, d.digits + 1, d.count - 1);
    }
    i32 exponent = value == 0 ? 0 : d.decpt - 1;
    if (exponent) {
        appendText(out, exponent < 0 ? "e-" : "e");
        appendUnsigned(out, u64(exponent < 0 ? -exponent : exponent));
    }
}

void appendMeshJson(TextOutput* out, const MeshCheck* mesh) {
    appendText(out, ", \"mesh\": ");
    if (!mesh) {
        appendText(out, "null");
        return;
    }
    const struct {
        const char* key;
        u64 value;
    } counts[] = {{"{\"vertices\": ", mesh->vertices},
                  {", \"degenerateTriangles\": ", mesh->degenerateTriangles},
                  {", \"openEdges\": ", mesh->openEdges},
                  {", \"nonManifoldEdges\": ", mesh->nonManifoldEdges},
                  {", \"misorientedEdges\": ", mesh->misorientedEdges},
                  {", \"shells\": ", mesh->shells}};
    for (const auto& count : counts) {
        appendText(out, count.key);
        appendUnsigned(out, count.value);
    }
    appendText(out, ", \"area\": ");
    appendDouble(out, mesh->area);
    appendText(out, ", \"volume\": ");
    appendDouble(out, mesh->closed ? (mesh->signedVolume < 0 ? -mesh->signedVolume : mesh->signedVolume) : __builtin_nan(""));
    appendText(out, mesh->closed ? ", \"closed\": true" : ", \"closed\": false");
    appendText(out, mesh->insideOut ? ", \"insideOut\": true}" : ", \"insideOut\": false}");
}

}  // namespace

void writeLoadJson(TextOutput* out, const LoadOutcome* outcome) {
    appendText(out, "{\"path\": ");
    appendJsonString(out, outcome->path, textLength(outcome->path));
    appendText(out, outcome->loaded ? ", \"status\": \"loaded\"" : ", \"status\": \"failed\"");
    appendText(out, ", \"format\": ");
    appendText(out, formatName(outcome, true));
    appendPicture(out, outcome, true);
    appendText(out, ", \"messages\": [");
    bool first = true;
    forEachMessage(outcome->messages, [&](const Utf16* line, u64 units) {
        appendText(out, first ? "" : ", ");
        appendJsonString(out, line, units);
        first = false;
    });
    appendText(out, "]");
    const LoadResult* result = outcome->loaded ? outcome->result : nullptr;
    if (!result) {
        appendText(out, ", \"coordinateSpace\": null, \"metresPerUnit\": null, \"colourOrder\": null, "
                        "\"materialColour\": null, \"modelName\": null, \"solids\": null");
    } else {
        const FileProvenance& provenance = result->provenance;
        appendText(out, ", \"coordinateSpace\": ");
        appendUnsigned(out, provenance.coordinateSpace);
        appendText(out, ", \"metresPerUnit\": ");
        appendNumber(out, provenance.metresPerUnit, true);
        appendText(out, ", \"colourOrder\": ");
        appendUnsigned(out, provenance.colourOrder);
        appendText(out, ", \"materialColour\": ");
        appendUnsigned(out, provenance.materialColour);
        appendText(out, ", \"modelName\": ");
        FileText modelName = provenance.modelName;
        appendFileText(out, &modelName, true);
        appendText(out, ", \"solids\": [");
        for (u32 i = 0; i < result->mesh.solidCount; ++i) {
            const StlSolid& solid = result->mesh.solids[i];
            appendText(out, i ? ", {\"name\": " : "{\"name\": ");
            FileText name = solid.name;
            appendFileText(out, &name, true);
            appendText(out, ", \"triangles\": ");
            appendUnsigned(out, solid.triangleCount);
            appendText(out, solid.hasNormals ? ", \"hasNormals\": true" : ", \"hasNormals\": false");
            appendText(out, solid.hasColours ? ", \"hasColours\": true}" : ", \"hasColours\": false}");
        }
        appendText(out, "]");
    }
    if (result && outcome->measured) {
        appendText(out, ", \"size\": ");
        appendVector(out, outcome->size, true);
        appendText(out, ", \"centre\": ");
        appendVector(out, outcome->centre, true);
        appendText(out, ", \"dimensions\": ");
        appendJsonString(out, outcome->dimensions, textLength(outcome->dimensions));
    } else {
        appendText(out, ", \"size\": null, \"centre\": null, \"dimensions\": null");
    }
    appendMeshJson(out, result ? outcome->mesh : nullptr);
    appendText(out, "}");
}

void writeLoadText(TextOutput* out, const LoadOutcome* outcome) {
    appendUtf16(out, outcome->path, textLength(outcome->path));
    appendText(out, "\n  format: ");
    appendText(out, formatName(outcome, false));
    appendText(out, outcome->loaded ? "\n  status: loaded\n" : "\n  status: failed\n");
    appendPicture(out, outcome, false);
    forEachMessage(outcome->messages, [&](const Utf16* line, u64 units) {
        appendText(out, "  ");
        appendUtf16(out, line, units);
        appendText(out, "\n");
    });
    if (!outcome->loaded || !outcome->result)
        return;
    const LoadResult* result = outcome->result;
    const FileProvenance& provenance = result->provenance;
    appendText(out, "  coordinate space: ");
    appendText(out, spaceName(provenance.coordinateSpace));
    appendText(out, "\n  unit: ");
    appendFloat(out, provenance.metresPerUnit);
    appendText(out, " m\n  colour order: ");
    appendText(out, colourOrderName(provenance.colourOrder));
    appendText(out, "\n  material colour: ");
    if (provenance.materialColour)
        appendHex32(out, provenance.materialColour);
    else
        appendText(out, "none");
    if (provenance.modelName.length) {
        appendText(out, "\n  model name: ");
        FileText modelName = provenance.modelName;
        appendFileText(out, &modelName, false);
    }
    if (outcome->measured) {
        appendText(out, "\n  dimensions: ");
        appendUtf16(out, outcome->dimensions, textLength(outcome->dimensions));
        if (outcome->mesh) {
            appendText(out, "\n  mesh: ");
            appendUtf16(out, outcome->meshText, textLength(outcome->meshText));
        }
        appendText(out, "\n  size: ");
        appendVector(out, outcome->size, false);
        appendText(out, " m\n  centre: ");
        appendVector(out, outcome->centre, false);
        appendText(out, " m");
    }
    appendText(out, "\n");
    for (u32 i = 0; i < result->mesh.solidCount; ++i) {
        const StlSolid& solid = result->mesh.solids[i];
        appendText(out, "  solid ");
        appendUnsigned(out, u64(i) + 1);
        appendText(out, " \"");
        FileText name = solid.name;
        appendFileText(out, &name, false);
        appendText(out, "\": ");
        appendUnsigned(out, solid.triangleCount);
        appendText(out, solid.triangleCount == 1 ? " triangle" : " triangles");
        if (solid.hasNormals)
            appendText(out, ", normals");
        if (solid.hasColours)
            appendText(out, ", colours");
        appendText(out, "\n");
    }
}
