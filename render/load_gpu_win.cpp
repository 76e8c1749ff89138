#include "render/load_gpu_win.h"

#include "diag/stage_stamps.h"
#include "render/renderer_win.h"
#include "render/view_gpu_win.h"
#include "render/view_window_win.h"

namespace {

DWORD WINAPI warmUpGpu(void* context) {
    ViewState* state = static_cast<ViewState*>(context);
    ensureGpu(state, nullptr);
    releaseViewState(state);
    return 0;
}

// The device is made on a pool thread of its own while the job parses.
void startWarmUp(LoadJob* job, StlFormat) {
    ViewState* state = retainViewState(static_cast<HWND>(job->endContext));
    if (state && !QueueUserWorkItem(warmUpGpu, state, 0))
        releaseViewState(state);
}

bool checkVertexCount(LoadJob* job, const LoadResult* result) {
    return fitsOneVertexBuffer(result, &job->translator);
}

void* uploadToView(LoadJob* job) {
    const ReportSink* sink = &job->translator;
    ViewState* state = retainViewState(static_cast<HWND>(job->endContext));
    if (!state)
        return nullptr;
    bool ready = ensureGpu(state, sink);
    stampStage(kStampDeviceReady);
    return uploadToViewDevice(state, ready, &job->file, sink);
}

void releaseUpload(void* upload) {
    releaseVertexBuffer(static_cast<GpuMesh*>(upload));
}

const LoadJobEnd kViewEnd = {startWarmUp, checkVertexCount, uploadToView, releaseUpload};

}  // namespace

GpuMesh* uploadToViewDevice(ViewState* state, bool ready, LoadedFile* file, const ReportSink* sink) {
    // The upload works on a reference of its own: the user-interface thread may release the
    // view's device (a lost GPU) while the buffer is being made.
    Renderer upload = {};
    if (ready) {
        acquireSpinLock(&state->gpuLock);
        upload.device = state->renderer.device;
        if (upload.device)
            upload.device->AddRef();
        else
            onGpuLost(state, DXGI_ERROR_DEVICE_REMOVED, sink);  // lost since it was made ready
        releaseSpinLock(&state->gpuLock);
    }
    releaseViewState(state);
    if (!upload.device)
        return nullptr;
    GpuMesh* mesh = allocateArrayOf<GpuMesh>(file->heap, 1, sink);
    if (mesh && !prepareGpuMesh(mesh, &upload, file, sink))
        mesh = nullptr;
    stampStage(kStampUploaded);
    upload.device->Release();
    return mesh;
}

LoadJob* createViewLoadJob(const wchar_t* path, HWND viewWindow, HWND mainWindow, const ReportSink* sink) {
    return createLoadJob(path, &kViewEnd, viewWindow, mainWindow, sink);
}
