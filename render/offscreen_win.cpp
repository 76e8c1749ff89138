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
    D3D11_TEXTURE2D_DESC resolved = desc;
    resolved.SampleDesc = {1, 0};
    resolved.BindFlags = 0;
    D3D11_TEXTURE2D_DESC staging = resolved;
    staging.Usage = D3D11_USAGE_STAGING;
    staging.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    bool ok = !reportIfFailed(device->CreateTexture2D(&desc, nullptr, &target->colour), sink) &&
              !reportIfFailed(device->CreateRenderTargetView(target->colour, nullptr, &target->renderTargetView), sink) &&
              !reportIfFailed(device->CreateTexture2D(&depth, nullptr, &target->depthTexture), sink) &&
              !reportIfFailed(device->CreateDepthStencilView(target->depthTexture, nullptr, &target->depthView), sink) &&
              !reportIfFailed(device->CreateTexture2D(&resolved, nullptr, &target->resolved), sink) &&
              !reportIfFailed(device->CreateTexture2D(&staging, nullptr, &target->staging), sink);
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
    ViewState start;
    initViewState(&start, nullptr);
    COLORREF background = GetSysColor(COLOR_APPWORKSPACE);
    const f32 clear[4] = {srgbToLinear[GetRValue(background)], srgbToLinear[GetGValue(background)],
                          srgbToLinear[GetBValue(background)], 1.0f};
    drawFrame(renderer, false, mesh, target->renderTargetView, target->depthView, target->width, target->height,
              &start.rotation, start.pan, meshRadius(mesh), start.zoom, yUp, clear, sink);
    return readOffscreenTarget(renderer, target, bgr, sink);
}

bool readOffscreenTarget(const Renderer* renderer, OffscreenTarget* target, u8* bgr, const ReportSink* sink) {
    ID3D11DeviceContext* context = renderer->context;
    context->ResolveSubresource(target->resolved, 0, target->colour, 0, DXGI_FORMAT_R8G8B8A8_UNORM_SRGB);
    context->CopyResource(target->staging, target->resolved);
    D3D11_MAPPED_SUBRESOURCE mapped;
    if (reportIfFailed(context->Map(target->staging, 0, D3D11_MAP_READ, 0, &mapped), sink))
        return false;
    for (u32 y = 0; y < target->height; ++y) {
        const u8* in = static_cast<const u8*>(mapped.pData) + u64(y) * mapped.RowPitch;
        u8* out = bgr + u64(y) * target->width * 3;
        for (u32 x = 0; x < target->width; ++x, in += 4, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    context->Unmap(target->staging, 0);
    return true;
}
