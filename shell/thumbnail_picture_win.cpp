#include "shell/thumbnail_picture_win.h"

#include "app/settings_store_win.h"
#include "diag/messages.h"
#include "render/mesh.h"
#include "render/offscreen_win.h"
#include "stl/detect.h"
#include "stl/load_road.h"
#include "stl/provenance.h"

namespace {

// One device for every thumbnail of the process, made on first need (the GPU when there is
// one, WARP otherwise) and again after it is lost; its immediate context serves one caller
// at a time, under the lock.
struct ThumbnailDevice {
    SRWLOCK lock;
    Renderer renderer;
    bool software;
    OffscreenTarget target;  // of the last side drawn
};

ThumbnailDevice device = {SRWLOCK_INIT, {}, false, {}};

// Thumbnails have no one to show messages to: the sink only remembers that an error came.
bool noteError(void* context, ResultCode code, uptr, const Utf16*) {
    if (isErrorCode(code))
        *static_cast<bool*>(context) = true;
    return true;
}

void releaseDeviceObjects() {
    releaseOffscreenTarget(&device.target);
    device.target = OffscreenTarget{};
    releaseRenderer(&device.renderer);
}

// Until runLoadRoad has a body: its steps over the sample, into the record it fills.
bool runLoadRoadStandIn(LoadedFile* out, const u8* bytes, u64 size, const ReportSink* sink) {
    *out = LoadedFile{};
    out->fileSize = size;
    out->read = true;
    StlFormat format = detectStlFormat(bytes, size);
    if (format == kFormatUnknown)
        return false;
    LoadHeap heap = createLoadHeap();
    if (!heap)
        return false;
    if (!parseStl(&out->result, format, bytes, bytes + size, heap, sink) ||
        (applyLoadDefaults(&out->result.provenance, sink), !prepareVertices(&out->result, heap, sink, &out->vertices))) {
        destroyLoadHeap(heap);
        return false;
    }
    measureBoundingBox(&out->vertices, out->result.mesh.solidCount, out->result.provenance.metresPerUnit, out->centre,
                       out->size);
    out->heap = heap;
    return true;
}

// The load's vertices as one immutable buffer, until the view's upload takes a finished load.
bool uploadStandIn(GpuMesh* mesh, const Renderer* renderer, const LoadedFile* file, const ReportSink* sink) {
    *mesh = GpuMesh{};
    u64 count = file->vertices.vertexCount;
    if (count > kMaxGpuVertices) {
        reportDirect3DFailure(i32(E_OUTOFMEMORY), sink);
        return false;
    }
    if (count != 0) {
        D3D11_BUFFER_DESC desc = {};
        desc.ByteWidth = UINT(count * sizeof(GpuVertex));
        desc.Usage = D3D11_USAGE_IMMUTABLE;
        desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
        D3D11_SUBRESOURCE_DATA initial = {file->vertices.vertices, 0, 0};
        if (reportIfFailed(renderer->device->CreateBuffer(&desc, &initial, &mesh->vertexBuffer), sink))
            return false;
    }
    mesh->vertexCount = u32(count);
    mesh->solidCount = file->result.mesh.solidCount;
    mesh->drawRanges = file->vertices.drawRanges;
    mesh->metresPerUnit = file->result.provenance.metresPerUnit;
    for (int i = 0; i < 3; ++i) {
        mesh->centre[i] = file->centre[i];
        mesh->size[i] = file->size[i];
    }
    return true;
}

// Draws into `bits` under the device lock. A lost device is released so that the next
// thumbnail makes a new one.
bool drawLoaded(const LoadedFile* file, u32 side, u8* bits, const ReportSink* sink) {
    AcquireSRWLockExclusive(&device.lock);
    bool ok = device.renderer.device || createOffscreenRenderer(&device.renderer, &device.software, sink);
    if (ok && device.target.width != side) {
        releaseOffscreenTarget(&device.target);
        ok = createOffscreenTarget(device.renderer.device, &device.target, side, side, sink);
        if (!ok)
            device.target = OffscreenTarget{};
    }
    GpuMesh mesh;
    if (ok && uploadStandIn(&mesh, &device.renderer, file, sink)) {
        const LoadResult* result = &file->result;
        mesh.colour = objectColour(statedMaterialColour(result), result, readDefaultObjectColour());
        mesh.solidVisible = file->solidVisible;
        ok = drawTransparentFirstFrame(&device.renderer, &device.target, &mesh, &file->vertices,
                                       result->provenance.coordinateSpace == kSpaceYUp, bits, sink);
        releaseVertexBuffer(&mesh);
    } else {
        ok = false;
    }
    if (!ok && device.renderer.device && FAILED(device.renderer.device->GetDeviceRemovedReason()))
        releaseDeviceObjects();
    ReleaseSRWLockExclusive(&device.lock);
    return ok;
}

// A sample of the file, loaded; the sample's bytes go before the vertices are drawn.
bool loadThumbnailFile(LoadedFile* file, const ByteSource* source, u32 side, const ReportSink* sink) {
    LoadHeap sampleHeap = createLoadHeap();
    if (!sampleHeap)
        return false;
    StlSample sample;
    SampleBudget budget = pictureBudget(side);
    bool ok = readStlSample(source, &budget, sampleHeap, sink, &sample) && sample.format != kFormatUnknown &&
              runLoadRoadStandIn(file, sample.bytes, sample.size, sink);
    destroyLoadHeap(sampleHeap);
    if (ok && sample.sampled)
        widenSampledTriangles(&file->vertices, sample.keptFraction, sample.runs, side);
    return ok;
}

}  // namespace

HBITMAP drawThumbnail(const ByteSource* source, u32 side) {
    bool failed = false;
    ReportSink sink = {&failed, noteError};
    LoadedFile file;
    if (!loadThumbnailFile(&file, source, side, &sink))
        return nullptr;
    // Top-down (negative height) 32-bit rows, as thumbnails with alpha are returned.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = LONG(side);
    info.bmiHeader.biHeight = -LONG(side);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && !drawLoaded(&file, side, static_cast<u8*>(bits), &sink)) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    destroyLoadHeap(file.heap);
    return bitmap;
}

void releaseThumbnailDevice() {
    AcquireSRWLockExclusive(&device.lock);
    releaseDeviceObjects();
    ReleaseSRWLockExclusive(&device.lock);
}
