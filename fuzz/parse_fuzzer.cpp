// The whole parse of arbitrary bytes: detection, both readers (each also forced on input
// the detection would give to the other), both identifications, the load's defaults and
// the CPU side of the mesh preparation. Besides the sanitizers' checks: what a reader
// hands on lies inside the file or the load's heap, and every triangle gets its vertices.
#include <cstring>
#include <vector>

#include "diag/messages.h"
#include "render/mesh.h"
#include "stl/ascii_reader.h"
#include "stl/binary_reader.h"
#include "stl/detect.h"
#include "stl/exporter.h"
#include "stl/provenance.h"

namespace {

// Translates every report, as the viewer's chain does, and drops the lines.
bool dropLine(void*, ResultCode, uptr, const Utf16*) {
    return true;
}

bool inside(const void* p, u64 bytes, const u8* first, const u8* end) {
    const u8* at = static_cast<const u8*>(p);
    return at >= first && at <= end && bytes <= u64(end - at);
}

void check(LoadResult* result, const u8* first, const u8* end, LoadHeap heap, const ReportSink* sink) {
    const StlMesh& mesh = result->mesh;
    u64 triangles = 0;
    for (u32 i = 0; i < mesh.solidCount; ++i) {
        const StlSolid& solid = mesh.solids[i];
        if (solid.name.length && !inside(solid.name.bytes, solid.name.length, first, end))
            __builtin_trap();
        if (mesh.fileStart && !inside(solid.triangles, u64(solid.triangleCount) * kBinaryRecordBytes, first, end))
            __builtin_trap();
        triangles += solid.triangleCount;
    }
    const FileText& model = result->provenance.modelName;
    if (model.length && !inside(model.bytes, model.length, first, end))
        __builtin_trap();
    applyLoadDefaults(&result->provenance, sink);
    f32 unit = result->provenance.metresPerUnit;
    if (unit - unit != 0.0f || (result->provenance.coordinateSpace != kSpaceYUp && result->provenance.coordinateSpace != kSpaceZUp))
        __builtin_trap();  // the defaults leave a known axis and a finite unit
    PreparedVertices prepared;
    if (prepareVertices(result, heap, sink, &prepared)) {
        if (prepared.vertexCount != 3 * triangles)
            __builtin_trap();
        f32 centre[3], size[3];
        measureBoundingBox(&prepared, mesh.solidCount, unit, centre, size);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy: a read past the end is a heap overflow the sanitizer sees.
    std::vector<uint8_t> copy(data, data + size);
    const u8* first = copy.data();
    const u8* end = first + size;
    ReportSink last = {nullptr, dropLine};
    ReportSink translator = makeMessageTranslator(&last);

    LoadHeap heap = createLoadHeap();
    LoadResult result = {};
    if (parseStl(&result, kFormatUnknown, first, end, heap, &translator))
        check(&result, first, end, heap, &translator);
    destroyLoadHeap(heap);

    heap = createLoadHeap();
    result = LoadResult{};
    result.format = kFormatAscii;
    if (readAsciiStl(&result.mesh, first, size, heap, &translator)) {
        identifyAsciiExporter(&result.mesh, &result.provenance, first, end, &translator);
        check(&result, first, end, heap, &translator);
    }
    destroyLoadHeap(heap);

    // The binary reader's caller promises that the first block fits.
    if (size >= kBinaryFirstRecord && size - kBinaryFirstRecord >= u64(loadU32(first + kBinaryHeaderBytes)) * kBinaryRecordBytes) {
        heap = createLoadHeap();
        result = LoadResult{};
        result.format = kFormatBinary;
        if (readBinaryStl(&result.mesh, first, size, heap, &translator)) {
            identifyBinaryExporter(&result.mesh, &result.provenance, end, &translator);
            check(&result, first, end, heap, &translator);
        }
        destroyLoadHeap(heap);
    }
    return 0;
}
