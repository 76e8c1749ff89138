#include "diag/messages.h"
#include "diag/stage_stamps.h"
#include "render/renderer_win.h"

bool prepareGpuMesh(GpuMesh* mesh, const Renderer* renderer, const LoadResult* result, u8* solidVisible, LoadHeap heap,
                    const ReportSink* sink) {
    ID3D11Device* device = renderer->device;
    u32 n = result->mesh.solidCount;
    u64 total = 0;
    for (u32 i = 0; i < n; ++i)
        total += 3 * u64(result->mesh.solids[i].triangleCount);
    // One buffer's byte width is 32 bits: past 153,391,689 vertices the mesh cannot be
    // uploaded whole, and is refused before anything is allocated for it.
    if (total > kMaxGpuVertices) {
        reportDirect3DFailure(i32(E_OUTOFMEMORY), sink);
        return false;
    }
    PreparedVertices prepared;
    if (!prepareVertices(result, heap, sink, &prepared))
        return false;
    measureBoundingBox(&prepared, n, result->provenance.metresPerUnit, mesh->centre, mesh->size);
    stampStage(kStampVerticesWritten);
    ID3D11Buffer* buffer = nullptr;
    if (total != 0) {
        D3D11_BUFFER_DESC desc = {};
        desc.ByteWidth = UINT(total * sizeof(GpuVertex));
        desc.Usage = D3D11_USAGE_IMMUTABLE;
        desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
        desc.StructureByteStride = sizeof(GpuVertex);
        D3D11_SUBRESOURCE_DATA initial = {prepared.vertices, 0, 0};
        HRESULT created = device->CreateBuffer(&desc, &initial, &buffer);
        heapFree(heap, prepared.vertices);
        if (FAILED(created)) {
            reportDirect3DFailure(i32(created), sink);
            return false;
        }
    }
    mesh->vertexBuffer = buffer;
    mesh->vertexCount = u32(total);
    mesh->colour = 0xFFFFFFFF;
    mesh->solidVisible = solidVisible;
    mesh->metresPerUnit = result->provenance.metresPerUnit;
    mesh->solidCount = n;
    mesh->drawRanges = prepared.drawRanges;
    return true;
}

void releaseVertexBuffer(GpuMesh* mesh) {
    if (mesh->vertexCount != 0 && mesh->vertexBuffer)
        mesh->vertexBuffer->Release();
    mesh->vertexBuffer = nullptr;
}
