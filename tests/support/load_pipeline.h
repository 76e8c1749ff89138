// The load road on arbitrary bytes, as the parse fuzz target and the guard-page test run it,
// and each reader also forced on input the detection would give to the other, with both
// identifications, the load's defaults and the vertex preparation, every report translated
// and dropped. Besides what the sanitizers or a guard page catch, it traps when what a reader
// hands on lies outside the file, a triangle misses its vertices, or a finished load still
// points into its bytes.
#pragma once

#include "diag/messages.h"
#include "stl/detect.h"
#include "stl/load_road.h"
#include "stl/provenance.h"

namespace load_pipeline {

inline void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

inline bool inside(const void* p, u64 bytes, const u8* first, const u8* end) {
    const u8* at = static_cast<const u8*>(p);
    return at >= first && at <= end && bytes <= u64(end - at);
}

inline void check(LoadResult* result, const u8* first, const u8* end, LoadHeap heap, const ReportSink* sink) {
    const StlMesh& mesh = result->mesh;
    u64 triangles = 0;
    for (u32 i = 0; i < mesh.solidCount; ++i) {
        const StlSolid& solid = mesh.solids[i];
        require(!solid.name.length || inside(solid.name.bytes, solid.name.length, first, end));
        require(!mesh.fileStart || inside(solid.triangles, u64(solid.triangleCount) * kBinaryRecordBytes, first, end));
        triangles += solid.triangleCount;
    }
    const FileText& model = result->provenance.modelName;
    require(!model.length || inside(model.bytes, model.length, first, end));
    applyLoadDefaults(&result->provenance, sink);
    f32 unit = result->provenance.metresPerUnit;
    CoordinateSpace space = result->provenance.coordinateSpace;
    require(unit - unit == 0.0f && (space == kSpaceYUp || space == kSpaceZUp));  // the defaults leave both known
    PreparedVertices prepared;
    if (prepareVertices(result, heap, sink, &prepared)) {
        require(prepared.vertexCount == 3 * triangles);
        f32 centre[3], size[3];
        measureBoundingBox(&prepared, mesh.solidCount, unit, centre, size);
    }
}

// A finished load: defaults known, a vertex for every corner, nothing inside the bytes.
inline void checkLoaded(const LoadedFile& file, const u8* first, const u8* end) {
    const StlMesh& mesh = file.result.mesh;
    u64 triangles = 0;
    for (u32 i = 0; i < mesh.solidCount; ++i) {
        const StlSolid& solid = mesh.solids[i];
        require(!solid.name.length || !inside(solid.name.bytes, 1, first, end));
        require(file.result.format != kFormatBinary || !solid.triangles);
        triangles += solid.triangleCount;
    }
    const FileText& model = file.result.provenance.modelName;
    require(!model.length || !inside(model.bytes, 1, first, end));
    require(!mesh.fileStart && file.vertices.vertexCount == 3 * triangles);
    f32 unit = file.result.provenance.metresPerUnit;
    CoordinateSpace space = file.result.provenance.coordinateSpace;
    require(unit - unit == 0.0f && (space == kSpaceYUp || space == kSpaceZUp));
}

}  // namespace load_pipeline

inline void runLoadPipeline(const u8* first, u64 size) {
    using namespace load_pipeline;
    const u8* end = first + size;
    ReportSink last = {nullptr, [](void*, ResultCode, uptr, const Utf16*) { return true; }};  // every line dropped
    ReportSink translator = makeMessageTranslator(&last);
    LoadedFile file;
    if (runLoadRoad(&file, first, size, &translator, nullptr))
        checkLoaded(file, first, end);
    releaseLoadedFile(&file);
    // The binary reader's caller promises that the first block fits.
    bool binaryFits = size >= kBinaryFirstRecord && size - kBinaryFirstRecord >= u64(loadU32(first + kBinaryHeaderBytes)) * kBinaryRecordBytes;
    for (StlFormat format : {kFormatAscii, kFormatBinary}) {
        if (format == kFormatBinary && !binaryFits)
            continue;
        LoadHeap heap = createLoadHeap();
        LoadResult result = {};
        if (parseStl(&result, format, first, end, heap, &translator))
            check(&result, first, end, heap, &translator);
        destroyLoadHeap(heap);
    }
}
