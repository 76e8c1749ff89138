#include "stl/load_road.h"

#include "diag/stage_stamps.h"
#include "stl/detect.h"
#include "stl/provenance.h"
#include "stl/read_guard.h"

namespace {

// What the guarded steps share with runLoadRoad; it lives in the road's frame, so a step cut
// short by vanished bytes leaves it as it was.
struct RoadStep {
    const u8* bytes;
    u64 size;
    const ReportSink* sink;
    LoadedFile* out;
};

bool detectStep(void* context) {
    RoadStep* step = static_cast<RoadStep*>(context);
    step->out->result.format = detectStlFormat(step->bytes, step->size);
    return step->out->result.format != kFormatUnknown;
}

// A text that lies in the bytes moves into the load's heap: the names are shown after the
// load, when the bytes may be gone. False (reported) when the heap is full.
bool copyOutOfBytes(FileText* text, const RoadStep* step) {
    if (text->length == 0 || text->bytes < step->bytes || text->bytes >= step->bytes + step->size)
        return true;
    u8* copy = allocateArrayOf<u8>(step->out->heap, text->length, step->sink);
    if (!copy)
        return false;
    __builtin_memcpy(copy, text->bytes, text->length);
    text->bytes = copy;
    return true;
}

bool parseStep(void* context) {
    RoadStep* step = static_cast<RoadStep*>(context);
    LoadResult* result = &step->out->result;
    if (!parseStl(result, result->format, step->bytes, step->bytes + step->size, step->out->heap, step->sink))
        return false;
    for (u32 i = 0; i < result->mesh.solidCount; ++i)
        if (!copyOutOfBytes(&result->mesh.solids[i].name, step))
            return false;
    return copyOutOfBytes(&result->provenance.modelName, step);
}

bool prepareStep(void* context) {
    RoadStep* step = static_cast<RoadStep*>(context);
    return prepareVertices(&step->out->result, step->out->heap, step->sink, &step->out->vertices);
}

// A binary mesh's triangles are the records in the bytes: once the vertices are made from
// them nothing reads them again.
void forgetTheBytes(StlMesh* mesh) {
    if (!mesh->fileStart)
        return;
    mesh->fileStart = nullptr;
    for (u32 i = 0; i < mesh->solidCount; ++i)
        mesh->solids[i].triangles = nullptr;
}

}  // namespace

bool runLoadRoad(LoadedFile* out, const u8* bytes, u64 size, const ReportSink* sink, const LoadRoadHooks* hooks) {
    *out = LoadedFile{};
    out->fileSize = size;
    out->read = true;
    RoadStep step = {bytes, size, sink, out};
    LoadResult* result = &out->result;
    // Bytes of neither encoding fail without a message: the format line says enough.
    bool ok = runGuardedRead(bytes, size, sink, detectStep, &step);
    if (ok) {
        out->heap = createLoadHeap();
        if (!out->heap)
            report(sink, kOutOfMemory);
        ok = out->heap != nullptr;
    }
    if (ok) {
        if (hooks && hooks->formatKnown)
            hooks->formatKnown(hooks->context, result->format);
        ok = runGuardedRead(bytes, size, sink, parseStep, &step);
        stampStage(kStampParsed);
    }
    if (ok) {
        applyLoadDefaults(&result->provenance, sink);
        ok = !hooks || !hooks->parsed || hooks->parsed(hooks->context, result);
    }
    if (ok) {
        u32 solids = result->mesh.solidCount;
        out->solidVisible = allocateArrayOf<u8>(out->heap, solids ? solids : 1, sink);
        ok = out->solidVisible != nullptr;
    }
    if (ok) {
        __builtin_memset(out->solidVisible, 1, result->mesh.solidCount);
        ok = runGuardedRead(bytes, size, sink, prepareStep, &step);
        stampStage(kStampVerticesWritten);
    }
    if (ok) {
        measureBoundingBox(&out->vertices, result->mesh.solidCount, result->provenance.metresPerUnit, out->centre,
                           out->size);
        forgetTheBytes(&result->mesh);
        return true;
    }
    StlFormat format = result->format;
    releaseLoadedFile(out);
    out->fileSize = size;
    out->read = true;
    out->result.format = format;
    return false;
}

void releaseLoadedFile(LoadedFile* file) {
    if (file->heap)
        destroyLoadHeap(file->heap);
    *file = LoadedFile{};
}
