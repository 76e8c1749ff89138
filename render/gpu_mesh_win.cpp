#include "diag/messages.h"
#include "render/renderer_win.h"

namespace {

u64 vertexCountOf(const LoadResult* result) {
    u64 total = 0;
    for (u32 i = 0; i < result->mesh.solidCount; ++i)
        total += 3 * u64(result->mesh.solids[i].triangleCount);
    return total;
}

}  // namespace

// One buffer's byte width is 32 bits: past 153,391,689 vertices the mesh cannot be uploaded
// whole.
bool fitsOneVertexBuffer(const LoadResult* result, const ReportSink* sink) {
    if (vertexCountOf(result) <= kMaxGpuVertices)
        return true;
    reportDirect3DFailure(i32(E_OUTOFMEMORY), sink);
    return false;
}

bool prepareGpuMesh(GpuMesh* mesh, const Renderer* renderer, LoadedFile* file, const ReportSink* sink) {
    const PreparedVertices& prepared = file->vertices;
    mesh->markVertices = nullptr;
    mesh->tintedVertexCount = mesh->edgeVertexCount = 0;
    mesh->marksBuffer = nullptr;
    if (!fitsOneVertexBuffer(&file->result, sink))
        return false;
    ID3D11Buffer* buffer = nullptr;
    u64 total = prepared.vertexCount;
    if (total != 0) {
        D3D11_BUFFER_DESC desc = {};
        desc.ByteWidth = UINT(total * sizeof(GpuVertex));
        desc.Usage = D3D11_USAGE_IMMUTABLE;
        desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
        desc.StructureByteStride = sizeof(GpuVertex);
        D3D11_SUBRESOURCE_DATA initial = {prepared.vertices, 0, 0};
        HRESULT created = renderer->device->CreateBuffer(&desc, &initial, &buffer);
        if (FAILED(created)) {
            reportDirect3DFailure(i32(created), sink);
            return false;
        }
    }
    for (int k = 0; k < 3; ++k) {
        mesh->centre[k] = file->centre[k];
        mesh->size[k] = file->size[k];
    }
    mesh->vertexBuffer = buffer;
    mesh->vertexCount = u32(total);
    mesh->colour = 0xFFFFFFFF;
    mesh->solidVisible = file->solidVisible;
    mesh->metresPerUnit = file->result.provenance.metresPerUnit;
    mesh->solidCount = file->result.mesh.solidCount;
    mesh->drawRanges = prepared.drawRanges;
    return true;
}

bool prepareMarksBuffer(GpuMesh* mesh, ID3D11Device* device, const ReportSink* sink) {
    D3D11_BUFFER_DESC desc = {};
    desc.ByteWidth = UINT((mesh->tintedVertexCount + mesh->edgeVertexCount) * sizeof(GpuVertex));
    desc.Usage = D3D11_USAGE_IMMUTABLE;
    desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    D3D11_SUBRESOURCE_DATA initial = {mesh->markVertices, 0, 0};
    return !reportIfFailed(device->CreateBuffer(&desc, &initial, &mesh->marksBuffer), sink);
}

void releaseVertexBuffer(GpuMesh* mesh) {
    if (mesh->vertexCount != 0 && mesh->vertexBuffer)
        mesh->vertexBuffer->Release();
    mesh->vertexBuffer = nullptr;
    releaseReference(mesh->marksBuffer);
}
