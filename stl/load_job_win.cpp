// The Windows side of a load job: the thread pool, the completion message, and the view's
// GPU objects.
#include <windows.h>

#include "diag/messages.h"
#include "diag/stage_stamps.h"
#include "render/renderer_win.h"
#include "stl/load_job.h"

namespace {

DWORD WINAPI warmUpGpu(void* context) {
    ViewState* view = static_cast<ViewState*>(context);
    ensureGpu(view, nullptr);
    releaseViewState(view);
    return 0;
}

}  // namespace

bool queueLoadJob(LoadJob* job) {
    return QueueUserWorkItem(runLoadJob, job, WT_EXECUTELONGFUNCTION) != FALSE;
}

DWORD WINAPI runLoadJob(void* context) {
    LoadJob* job = static_cast<LoadJob*>(context);
    loadFile(job);
    HWND mainWindow = static_cast<HWND>(job->mainWindow);
    // A full message queue empties as the user-interface thread runs, so the post is tried
    // again; a window that is gone will never take the job over, so the job is released
    // here rather than left behind with its heap and mapped file.
    while (!PostMessageW(mainWindow, kLoadCompleted, reinterpret_cast<WPARAM>(job), 0)) {
        if (!IsWindow(mainWindow)) {
            releaseLoadJob(job);
            break;
        }
        Sleep(10);
    }
    return 0;
}

void warmUpJobGpu(LoadJob* job) {
    ViewState* view = retainViewState(static_cast<HWND>(job->viewWindow));
    if (view && !QueueUserWorkItem(warmUpGpu, view, 0))
        releaseViewState(view);
}

GpuMesh* prepareJobGpu(LoadJob* job) {
    const ReportSink* sink = &job->translator;
    ViewState* view = retainViewState(static_cast<HWND>(job->viewWindow));
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
    GpuMesh* mesh = allocateArrayOf<GpuMesh>(job->heap, 1, sink);
    if (mesh && !prepareGpuMesh(mesh, &device, &job->result, job->solidVisible, job->heap, sink))
        mesh = nullptr;
    stampStage(kStampUploaded);
    device.device->Release();
    return mesh;
}
