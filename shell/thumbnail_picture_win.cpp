#include "shell/thumbnail_picture_win.h"

#include "app/settings_store_win.h"
#include "render/mesh.h"
#include "render/offscreen_win.h"
#include "stl/detect.h"
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

// The load of a sample: detection's format, the reader, the exporter's identification and
// the defaults, in the order the viewer runs them.
bool loadSample(LoadResult* result, const StlSample* sample, LoadHeap heap, const ReportSink* sink) {
    if (!parseStl(result, sample->format, sample->bytes, sample->bytes + sample->size, heap, sink))
        return false;
    applyLoadDefaults(&result->provenance, sink);
    return true;
}

// Draws into `bits` under the device lock. A lost device is released so that the next
// thumbnail makes a new one.
bool drawLoaded(const LoadResult* result, LoadHeap heap, u32 side, u8* bits, const ReportSink* sink) {
    AcquireSRWLockExclusive(&device.lock);
    bool ok = device.renderer.device || createOffscreenRenderer(&device.renderer, &device.software, sink);
    if (ok && device.target.width != side) {
        releaseOffscreenTarget(&device.target);
        ok = createOffscreenTarget(device.renderer.device, &device.target, side, side, sink);
        if (!ok)
            device.target = OffscreenTarget{};
    }
    GpuMesh mesh = {};
    if (ok && prepareGpuMesh(&mesh, &device.renderer, result, nullptr, heap, sink)) {
        mesh.colour = objectColour(statedMaterialColour(result), result, readDefaultObjectColour());
        ok = drawTransparentFirstFrame(&device.renderer, &device.target, &mesh,
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

}  // namespace

HBITMAP drawThumbnail(const ByteSource* source, u32 side) {
    bool failed = false;
    ReportSink sink = {&failed, noteError};
    LoadHeap heap = createLoadHeap();
    if (!heap)
        return nullptr;
    StlSample sample;
    LoadResult result = {};
    HBITMAP bitmap = nullptr;
    if (readStlSample(source, heap, &sink, &sample) && sample.format != kFormatUnknown &&
        loadSample(&result, &sample, heap, &sink)) {
        if (sample.sampled)
            widenSampledTriangles(&result.mesh, sample.keptFraction, side);
        // Top-down (negative height) 32-bit rows, as thumbnails with alpha are returned.
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = LONG(side);
        info.bmiHeader.biHeight = -LONG(side);
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap && !drawLoaded(&result, heap, side, static_cast<u8*>(bits), &sink)) {
            DeleteObject(bitmap);
            bitmap = nullptr;
        }
    }
    destroyLoadHeap(heap);
    return bitmap;
}

void releaseThumbnailDevice() {
    AcquireSRWLockExclusive(&device.lock);
    releaseDeviceObjects();
    ReleaseSRWLockExclusive(&device.lock);
}
