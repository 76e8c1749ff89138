// The whole parse of arbitrary bytes: detection, both readers (each also forced on input
// the detection would give to the other), both identifications, the load's defaults and
// the CPU side of the mesh preparation.
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

void prepare(LoadResult* result, LoadHeap heap, const ReportSink* sink) {
    applyLoadDefaults(&result->provenance, sink);
    PreparedVertices prepared;
    if (prepareVertices(result, heap, sink, &prepared)) {
        f32 centre[3], size[3];
        measureBoundingBox(&prepared, result->mesh.solidCount, result->provenance.metresPerUnit, centre, size);
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
        prepare(&result, heap, &translator);
    destroyLoadHeap(heap);

    heap = createLoadHeap();
    result = LoadResult{};
    result.format = kFormatAscii;
    if (readAsciiStl(&result.mesh, first, size, heap, &translator)) {
        identifyAsciiExporter(&result.mesh, &result.provenance, first, end, &translator);
        prepare(&result, heap, &translator);
    }
    destroyLoadHeap(heap);

    if (size >= 84 && size - 84 >= u64(loadU32(first + 80)) * 50) {
        heap = createLoadHeap();
        result = LoadResult{};
        result.format = kFormatBinary;
        if (readBinaryStl(&result.mesh, first, size, heap, &translator)) {
            identifyBinaryExporter(&result.mesh, &result.provenance, end, &translator);
            prepare(&result, heap, &translator);
        }
        destroyLoadHeap(heap);
    }
    return 0;
}
