#include "render/load_gpu_win.h"

#include "diag/stage_stamps.h"
#include "render/renderer_win.h"

namespace {

DWORD WINAPI warmUpGpu(void* context) {
    ViewState* view = static_cast<ViewState*>(context);
    ensureGpu(view, nullptr);
    releaseViewState(view);
    return 0;
}

// The device is made on a pool thread of its own while the job parses.
void startWarmUp(LoadJob* job, StlFormat) {
    ViewState* view = retainViewState(static_cast<HWND>(job->endContext));
    if (view && !QueueUserWorkItem(warmUpGpu, view, 0))
        releaseViewState(view);
}

bool checkVertexCount(LoadJob* job, const LoadResult* result) {
    return fitsOneVertexBuffer(result, &job->translator);
}

void* uploadToView(LoadJob* job) {
    const ReportSink* sink = &job->translator;
    ViewState* view = retainViewState(static_cast<HWND>(job->endContext));
    if (!view)
        return nullptr;
    // The upload works on a reference of its own: the user-interface thread may release the
    // view's device (a lost GPU) while the buffer is being made.
    Renderer device = {};
    bool failed = !ensureGpu(view, sink);
    stampStage(kStampDeviceReady);
    if (!failed) {
        acquireSpinLock(&view->gpuLock);
        device.device = view->renderer.device;
        if (device.device)
            device.device->AddRef();
        releaseSpinLock(&view->gpuLock);
    }
    releaseViewState(view);
    if (!device.device) {
        if (!failed)
            reportDirect3DFailure(i32(DXGI_ERROR_DEVICE_REMOVED), sink);  // lost since it was made ready
        return nullptr;
    }
    GpuMesh* mesh = allocateArrayOf<GpuMesh>(job->file.heap, 1, sink);
    if (mesh && !prepareGpuMesh(mesh, &device, &job->file, sink))
        mesh = nullptr;
    stampStage(kStampUploaded);
    device.device->Release();
    return mesh;
}

void releaseUpload(void* upload) {
    releaseVertexBuffer(static_cast<GpuMesh*>(upload));
}

const LoadJobEnd kViewEnd = {startWarmUp, checkVertexCount, uploadToView, releaseUpload};

}  // namespace

LoadJob* createViewLoadJob(const wchar_t* path, HWND viewWindow, HWND mainWindow, const ReportSink* sink) {
    return createLoadJob(path, &kViewEnd, viewWindow, mainWindow, sink);
}
