#include "render/offscreen_win.h"

#include "render/frame_win.h"

bool createOffscreenRenderer(Renderer* renderer, bool* software, const ReportSink* sink) {
    // A service account, a remote session or a machine without a GPU has no hardware
    // device; the software rasteriser draws the same picture, only slower.
    *software = false;
    if (createRenderer(renderer, nullptr))
        return true;
    *software = true;
    return createRendererOn(renderer, D3D_DRIVER_TYPE_WARP, sink);
}

bool createOffscreenTarget(ID3D11Device* device, OffscreenTarget* target, u32 width, u32 height, const ReportSink* sink) {
    *target = OffscreenTarget{};
    target->width = width;
    target->height = height;
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = width;
    desc.Height = height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;  // the view's swap chain format
    desc.SampleDesc = {4, 0};
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_RENDER_TARGET;
    D3D11_TEXTURE2D_DESC depth = desc;
    depth.Format = DXGI_FORMAT_D24_UNORM_S8_UINT;
    depth.BindFlags = D3D11_BIND_DEPTH_STENCIL;
    bool ok = !reportIfFailed(device->CreateTexture2D(&desc, nullptr, &target->colour), sink) &&
              !reportIfFailed(device->CreateRenderTargetView(target->colour, nullptr, &target->renderTargetView), sink) &&
              !reportIfFailed(device->CreateTexture2D(&depth, nullptr, &target->depthTexture), sink) &&
              !reportIfFailed(device->CreateDepthStencilView(target->depthTexture, nullptr, &target->depthView), sink) &&
              createReadBackTextures(device, &desc, &target->resolved, &target->staging, sink);
    if (!ok)
        releaseOffscreenTarget(target);
    return ok;
}

void releaseOffscreenTarget(OffscreenTarget* target) {
    releaseReference(target->staging);
    releaseReference(target->resolved);
    releaseReference(target->depthView);
    releaseReference(target->depthTexture);
    releaseReference(target->renderTargetView);
    releaseReference(target->colour);
}

bool drawFirstFrame(const Renderer* renderer, OffscreenTarget* target, const GpuMesh* mesh, bool yUp, u8* bgr,
                    const ReportSink* sink) {
    Camera camera = startCamera();
    frameMesh(&camera, mesh->size);
    const FrameTarget frame = {target->renderTargetView, target->depthView, target->width, target->height};
    const Scene scene = {mesh, false, yUp, false};
    drawFrame(renderer, &frame, &scene, &camera, sink);
    return readOffscreenTarget(renderer, target, bgr, sink);
}

bool readOffscreenTarget(const Renderer* renderer, OffscreenTarget* target, u8* bgr, const ReportSink* sink) {
    copyForReadBack(renderer->context, target->colour, target->resolved, target->staging);
    return readBackPixels(renderer->context, target->staging, 3, bgr, sink);
}
