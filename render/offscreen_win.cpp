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

namespace {

// At `zoom`, or at the view's start zoom when it is 0.
void drawStartFrame(const Renderer* renderer, OffscreenTarget* target, const GpuMesh* mesh, bool yUp, f32 zoom,
                    bool transparent, const ReportSink* sink) {
    Camera camera = startCamera();
    frameMesh(&camera, mesh->size);
    if (zoom > 0.0f)
        camera.zoom = zoom;
    const FrameTarget frame = {target->renderTargetView, target->depthView, target->width, target->height};
    const Scene scene = {mesh, false, yUp, transparent, false, nullptr};
    drawFrame(renderer, &frame, &scene, &camera, sink);
}

// The sRGB code nearest to a linear value from 0 to 1.
u8 linearToSrgb(f32 linear) {
    u32 low = 0;
    u32 high = 255;
    while (low < high) {
        u32 middle = (low + high) / 2;
        if (srgbToLinear[middle] < linear)
            low = middle + 1;
        else
            high = middle;
    }
    return u8(low > 0 && linear - srgbToLinear[low - 1] < srgbToLinear[low] - linear ? low - 1 : low);
}

}  // namespace

f32 fillingZoom(const PreparedVertices* vertices, const GpuMesh* mesh, bool yUp) {
    Camera start = startCamera();
    frameMesh(&start, mesh->size);
    const f32* m = start.rotation.m;
    f32 reach = 5.0f * start.radius;
    f32 s = mesh->metresPerUnit;
    f32 zoom = 64.0f;
    for (u64 k = 0; k < vertices->vertexCount; ++k) {
        const f32* p = vertices->vertices[k].position;
        f32 x = p[0] * s - mesh->centre[0], y = p[1] * s - mesh->centre[1], z = p[2] * s - mesh->centre[2];
        // A Z-up file's (x, y, z) stands at (x, z, -y), as the frame places it.
        const f32 o[3] = {x, yUp ? y : z, yUp ? z : -y};
        f32 across = o[0] * m[0] + o[1] * m[3] + o[2] * m[6];
        f32 up = o[0] * m[1] + o[1] * m[4] + o[2] * m[7];
        f32 depth = reach - (o[0] * m[2] + o[1] * m[5] + o[2] * m[8]);
        f32 extent = across < 0 ? -across : across;
        extent = up > extent ? up : -up > extent ? -up : extent;
        // NaN and infinite corners fail the test and are passed over.
        if (extent > 0.0f && depth > 0.0f && depth / extent < zoom)
            zoom = depth / extent;
    }
    // A hair inside the edges, so that antialiasing never cuts at the border.
    return 0.96f * zoom;
}

bool drawFirstFrame(const Renderer* renderer, OffscreenTarget* target, const GpuMesh* mesh, bool yUp, u8* bgr,
                    const ReportSink* sink) {
    drawStartFrame(renderer, target, mesh, yUp, 0.0f, false, sink);
    return readOffscreenTarget(renderer, target, bgr, sink);
}

bool drawTransparentFirstFrame(const Renderer* renderer, OffscreenTarget* target, const GpuMesh* mesh, f32 zoom,
                               bool yUp, u8* bgra, const ReportSink* sink) {
    drawStartFrame(renderer, target, mesh, yUp, zoom, true, sink);
    copyForReadBack(renderer->context, target->colour, target->resolved, target->staging);
    if (!readBackPixels(renderer->context, target->staging, 4, bgra, sink))
        return false;
    // The resolve averaged in linear light with the clear colour's zeros: an edge pixel holds
    // coverage times the colour's linear value. Alpha blending wants the sRGB colour times
    // coverage.
    for (u64 k = 0, pixels = u64(target->width) * target->height; k < pixels; ++k, bgra += 4) {
        u8 alpha = bgra[3];
        for (int c = 0; c < 3; ++c) {
            u8 code = bgra[c];
            if (alpha != 255 && alpha != 0) {
                f32 linear = srgbToLinear[code] * 255.0f / f32(alpha);
                code = u8((u32(linearToSrgb(linear < 1.0f ? linear : 1.0f)) * alpha + 127) / 255);
            }
            bgra[c] = alpha == 0 ? 0 : code;
        }
    }
    return true;
}

bool readOffscreenTarget(const Renderer* renderer, OffscreenTarget* target, u8* bgr, const ReportSink* sink) {
    copyForReadBack(renderer->context, target->colour, target->resolved, target->staging);
    return readBackPixels(renderer->context, target->staging, 3, bgr, sink);
}
