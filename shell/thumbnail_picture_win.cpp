#include "shell/thumbnail_picture_win.h"

#include "app/settings_store_win.h"
#include "render/mesh.h"
#include "render/offscreen_win.h"
#include "render/pinholes.h"
#include "shell/shell_module_win.h"
#include "stl/load_road.h"

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

// Thumbnails have no one to show messages to: a failure is the result Explorer gets.
bool ignoreReport(void*, ResultCode, uptr, const Utf16*) {
    return true;
}

void releaseDeviceObjects() {
    releaseOffscreenTarget(&device.target);
    device.target = OffscreenTarget{};
    releaseRenderer(&device.renderer);
}

i64 counter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// Adds the ticks since `*last` to `*stage` and moves `*last` on.
void stamp(i64* last, i64* stage) {
    i64 now = counter();
    *stage += now - *last;
    *last = now;
}

// The file's model as the frame places it.
GpuMesh placedMesh(const LoadedFile* file) {
    GpuMesh mesh = {};
    for (int i = 0; i < 3; ++i) {
        mesh.centre[i] = file->centre[i];
        mesh.size[i] = file->size[i];
    }
    mesh.metresPerUnit = file->result.provenance.metresPerUnit;
    return mesh;
}

bool isYUp(const LoadedFile* file) {
    return file->result.provenance.coordinateSpace == kSpaceYUp;
}

// Draws into `bits` at `zoom` under the device lock. A lost device is released so that
// the next thumbnail makes a new one.
bool drawLoaded(LoadedFile* file, f32 zoom, u32 side, u8* bits, const ReportSink* sink, i64* last,
                ThumbnailTimes* times) {
    const LoadResult* result = &file->result;
    bool yUp = isYUp(file);
    GpuMesh mesh = placedMesh(file);
    AcquireSRWLockExclusive(&device.lock);
    bool ok = device.renderer.device || createOffscreenRenderer(&device.renderer, &device.software, sink);
    if (ok && device.target.width != side) {
        releaseOffscreenTarget(&device.target);
        ok = createOffscreenTarget(device.renderer.device, &device.target, side, side, sink);
        if (!ok)
            device.target = OffscreenTarget{};
    }
    stamp(last, &times->device);
    if (ok && prepareGpuMesh(&mesh, &device.renderer, file, sink)) {
        stamp(last, &times->upload);
        mesh.colour = objectColour(statedMaterialColour(result), result, readDefaultObjectColour());
        ok = drawTransparentFirstFrame(&device.renderer, &device.target, &mesh, zoom, yUp, bits, sink);
        stamp(last, &times->draw);
        releaseVertexBuffer(&mesh);
    } else {
        ok = false;
    }
    if (!ok && device.renderer.device && FAILED(device.renderer.device->GetDeviceRemovedReason()))
        releaseDeviceObjects();
    ReleaseSRWLockExclusive(&device.lock);
    return ok;
}

// A mesh too large for one vertex buffer is refused before its vertices are made.
bool checkSize(void*, const LoadResult* result) {
    return fitsOneVertexBuffer(result, nullptr);
}

const LoadRoadHooks kRoadHooks = {nullptr, nullptr, checkSize};

// A sample read, loaded; the sample's bytes go before the vertices are drawn. `zoom`, when
// asked for, fills a picture with the triangles as read: widened ones reach past the
// outline and would shrink the model.
bool loadReadSample(LoadedFile* file, const StlSample* sample, LoadHeap sampleHeap, u32 side,
                    const ReportSink* sink, i64* last, ThumbnailTimes* times, f32* zoom) {
    pinShellModule();  // the load road's guarded reads leave a handler in this module
    // Nothing of the load points into the sample's bytes: they go as soon as it is made.
    bool ok = sample->format != kFormatUnknown && runLoadRoad(file, sample->bytes, sample->size, sink, &kRoadHooks);
    destroyLoadHeap(sampleHeap);
    stamp(last, &times->load);
    if (ok && zoom) {
        GpuMesh mesh = placedMesh(file);
        *zoom = fillingZoom(&file->vertices, &mesh, isYUp(file));
    }
    if (ok && sample->sampled)
        widenSampledTriangles(&file->vertices, sample, side);
    stamp(last, &times->widen);
    return ok;
}

bool loadThumbnailFile(LoadedFile* file, const ByteSource* source, u32 side, const SampleBudget* budget,
                       const ReportSink* sink, i64* last, ThumbnailTimes* times, bool* sampled, f32* zoom) {
    LoadHeap sampleHeap = createLoadHeap();
    if (!sampleHeap)
        return false;
    StlSample sample;
    bool read = readStlSample(source, budget, sampleHeap, sink, &sample);
    stamp(last, &times->sample);
    if (!read) {
        destroyLoadHeap(sampleHeap);
        return false;
    }
    *sampled = sample.sampled;
    return loadReadSample(file, &sample, sampleHeap, side, sink, last, times, zoom);
}

}  // namespace

bool readSampleForPicture(const ByteSource* source, LoadHeap heap, const ReportSink* sink, StlSample* out) {
    SampleBudget budget = pictureBudget();
    return readStlSample(source, &budget, heap, sink, out);
}

bool loadSample(LoadedFile* file, const StlSample* sample, LoadHeap sampleHeap, u32 side, const ReportSink* sink) {
    ThumbnailTimes unused;
    i64 last = counter();
    return loadReadSample(file, sample, sampleHeap, side, sink, &last, &unused, nullptr);
}

HBITMAP drawThumbnail(const ByteSource* source, u32 side, const SampleBudget* budget, ThumbnailTimes* times) {
    ReportSink sink = {nullptr, ignoreReport};
    ThumbnailTimes unused;
    times = times ? times : &unused;
    *times = ThumbnailTimes{};
    i64 last = counter();
    LoadedFile file = {};
    bool sampled;
    f32 zoom;
    if (!loadThumbnailFile(&file, source, side, budget, &sink, &last, times, &sampled, &zoom))
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
    stamp(&last, &times->bitmap);
    if (bitmap && !drawLoaded(&file, zoom, side, static_cast<u8*>(bits), &sink, &last, times)) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    releaseLoadedFile(&file);
    // Without its scratch a sample's picture keeps its specks.
    u8* alphas = bitmap && sampled ? static_cast<u8*>(HeapAlloc(GetProcessHeap(), 0, SIZE_T(side) * side)) : nullptr;
    if (alphas) {
        for (int pass = 0; pass < 2; ++pass)  // the second closes what the first left half closed
            closePinholes(static_cast<u8*>(bits), side, side, alphas);
        HeapFree(GetProcessHeap(), 0, alphas);
    }
    stamp(&last, &times->draw);
    return bitmap;
}

void releaseThumbnailDevice() {
    AcquireSRWLockExclusive(&device.lock);
    releaseDeviceObjects();
    ReleaseSRWLockExclusive(&device.lock);
}

bool shareThumbnailDevice(Renderer* out, SRWLOCK** contextLock, const ReportSink* sink) {
    AcquireSRWLockExclusive(&device.lock);
    if (device.renderer.device && FAILED(device.renderer.device->GetDeviceRemovedReason()))
        releaseDeviceObjects();
    bool ok = device.renderer.device || createOffscreenRenderer(&device.renderer, &device.software, sink);
    if (ok)
        shareRenderer(out, &device.renderer);
    ReleaseSRWLockExclusive(&device.lock);
    *contextLock = &device.lock;
    return ok;
}
