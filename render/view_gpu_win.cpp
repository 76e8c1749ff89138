#include "render/view_gpu_win.h"

#include "diag/messages.h"
#include "diag/stage_stamps.h"
#include "render/frame_win.h"

namespace {

// The frame just drawn, resolved and copied where the CPU can read it, before presentation
// discards the back buffer. False (reported) when the copies cannot be made.
bool copyFrameForGdi(ViewState* state) {
    const Renderer& r = state->renderer;
    GdiCopy& gdi = state->gdi;
    ID3D11Texture2D* backBuffer = nullptr;
    if (reportIfFailed(state->target.swapChain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&backBuffer)),
                       state->sink))
        return false;
    bool ok = true;
    if (!gdi.staging) {
        D3D11_TEXTURE2D_DESC desc;
        backBuffer->GetDesc(&desc);
        ok = createReadBackTextures(r.device, &desc, &gdi.resolved, &gdi.staging, state->sink);
    }
    if (ok)
        copyForReadBack(r.context, backBuffer, gdi.resolved, gdi.staging);
    backBuffer->Release();
    return ok;
}

// Sets the copied frame into the window through GDI.
void showFrameThroughGdi(ViewState* state) {
    GdiCopy& gdi = state->gdi;
    D3D11_TEXTURE2D_DESC desc;
    gdi.staging->GetDesc(&desc);
    u64 count = u64(desc.Width) * desc.Height;
    if (count > gdi.pixelCount) {
        if (gdi.pixels)
            deallocate(gdi.pixels);
        gdi.pixels = static_cast<u8*>(allocate(count * 4));
        gdi.pixelCount = gdi.pixels ? count : 0;
        if (!gdi.pixels)
            return;
    }
    if (!readBackPixels(state->renderer.context, gdi.staging, 4, gdi.pixels, state->sink))
        return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = LONG(desc.Width);
    info.bmiHeader.biHeight = -LONG(desc.Height);  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(state->window);
    SetDIBitsToDevice(dc, 0, 0, desc.Width, desc.Height, 0, 0, 0, desc.Height, gdi.pixels, &info, DIB_RGB_COLORS);
    ReleaseDC(state->window, dc);
}

void releaseGdiCopy(GdiCopy* gdi) {
    releaseReference(gdi->staging);
    releaseReference(gdi->resolved);
}

}  // namespace

bool ensureGpu(ViewState* state, const ReportSink* sink) {
    acquireSpinLock(&state->gpuLock);
    bool ok = state->renderer.device != nullptr;
    if (!ok && createRenderer(&state->renderer, sink)) {
        ok = createSwapChainTarget(state->renderer.device, &state->target, state->gdi.presentWindow, sink);
        if (!ok)
            releaseRenderer(&state->renderer);
    }
    releaseSpinLock(&state->gpuLock);
    return ok;
}

bool adoptRenderer(ViewState* state, const Renderer* shared, SRWLOCK* contextLock, const ReportSink* sink) {
    acquireSpinLock(&state->gpuLock);
    bool ok = state->renderer.device != nullptr;
    if (!ok) {
        shareRenderer(&state->renderer, shared);
        state->contextLock = contextLock;
        ok = createSwapChainTarget(state->renderer.device, &state->target, state->gdi.presentWindow, sink);
        if (!ok)
            releaseSharedRenderer(&state->renderer);
    }
    releaseSpinLock(&state->gpuLock);
    return ok;
}

void releaseGpu(ViewState* state) {
    releaseGdiCopy(&state->gdi);
    releaseSwapChainTarget(&state->target);
    if (state->contextLock)
        releaseSharedRenderer(&state->renderer);
    else
        releaseRenderer(&state->renderer);
}

void onGpuLost(ViewState* state, HRESULT reason, const ReportSink* sink) {
    if (FAILED(reason))
        reportDirect3DFailure(i32(reason), sink);
    releaseGpu(state);
    // The parent loads its file again onto a new device; the placeholder stays if that fails.
    PostMessageW(GetParent(state->window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(state->window), kViewGpuLost),
                 reinterpret_cast<LPARAM>(state->window));
}

void paintFrame(ViewState* state) {
    const FrameTarget target = {state->target.renderTargetView, state->target.depthView, state->width, state->height};
    GpuMesh* mesh = state->mesh;
    if (state->showOpenEdges && mesh && mesh->markVertices && !mesh->marksBuffer)
        prepareMarksBuffer(mesh, state->renderer.device, state->sink);
    const Scene scene = {mesh, state->wireframe, state->yUp, false, state->showOpenEdges && mesh && mesh->marksBuffer,
                         state->background};
    drawFrame(&state->renderer, &target, &scene, &state->camera, state->sink);
    bool copied = state->gdi.enabled && copyFrameForGdi(state);
    HRESULT presented = state->target.swapChain->Present(1, 0);
    if (FAILED(presented)) {
        onGpuLost(state, presented, state->sink);
        return;
    }
    if (copied)
        showFrameThroughGdi(state);
    if (state->mesh)
        stampStage(kStampFramePresented, state->window);
}

bool resizeTarget(ViewState* state, i32 width, i32 height) {
    if (width <= 0 || height <= 0)
        return true;  // minimised: the old size and swap chain stay
    if (!tryAcquireSpinLock(&state->gpuLock))
        return false;
    if (state->contextLock && !TryAcquireSRWLockExclusive(state->contextLock)) {
        releaseSpinLock(&state->gpuLock);
        return false;
    }
    SwapChainTarget* target = &state->target;
    if (state->gdi.presentWindow != state->window)
        SetWindowPos(state->gdi.presentWindow, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (state->renderer.device && target->swapChain) {
        // The context lets go of the old views, or the buffers cannot be resized.
        state->renderer.context->ClearState();
        releaseGdiCopy(&state->gdi);
        releaseReference(target->depthView);
        releaseReference(target->depthTexture);
        releaseReference(target->renderTargetView);
        // A swap chain without views is never drawn with: treated as a lost GPU.
        HRESULT resized = target->swapChain->ResizeBuffers(0, 0, 0, DXGI_FORMAT_UNKNOWN, 0);
        if (FAILED(resized))
            onGpuLost(state, resized, state->sink);
        else if (!createTargetViews(state->renderer.device, target, state->sink))
            onGpuLost(state, S_OK, state->sink);  // reported by createTargetViews
    }
    state->width = u32(width);
    state->height = u32(height);
    if (state->contextLock)
        ReleaseSRWLockExclusive(state->contextLock);
    releaseSpinLock(&state->gpuLock);
    return true;
}
