// Pictures without a window: the viewer's first frame of a mesh drawn into textures of the
// program's own and read back, for the console tool's previews.
#pragma once

#include "render/renderer_win.h"

struct OffscreenTarget {
    ID3D11Texture2D* colour;  // 4 samples, sRGB, as the view's swap chain
    ID3D11RenderTargetView* renderTargetView;
    ID3D11Texture2D* depthTexture;
    ID3D11DepthStencilView* depthView;
    ID3D11Texture2D* resolved;  // one sample
    ID3D11Texture2D* staging;   // read by the CPU
    u32 width;
    u32 height;
};

// A device on the default hardware adapter, or on the software rasteriser (WARP) when there
// is none; `software` says which. Failures of the last attempt are reported.
bool createOffscreenRenderer(Renderer* renderer, bool* software, const ReportSink* sink);

bool createOffscreenTarget(ID3D11Device* device, OffscreenTarget* target, u32 width, u32 height, const ReportSink* sink);
void releaseOffscreenTarget(OffscreenTarget* target);

// Resolves what was drawn into the target and writes it as blue, green, red, top row first.
bool readOffscreenTarget(const Renderer* renderer, OffscreenTarget* target, u8* bgr, const ReportSink* sink);

// The frame a new view of the target's size shows first: start angles and zoom, no pan.
// Writes width x height pixels of blue, green, red (no alpha), top row first, to `bgr`.
bool drawFirstFrame(const Renderer* renderer, OffscreenTarget* target, const GpuMesh* mesh, bool yUp, u8* bgr,
                    const ReportSink* sink);

// The zoom at which `vertices` (a load's, in file units) fill a square picture seen from the
// start angles; `mesh` gives their box in metres and their unit.
f32 fillingZoom(const PreparedVertices* vertices, const GpuMesh* mesh, bool yUp);

// The same frame at `zoom` (fillingZoom's, for thumbnails) on a transparent background, for
// pictures laid over another: blue, green, red, alpha, the colour multiplied by the alpha
// (the layout of a 32-bit DIB section that AlphaBlend takes), top row first.
bool drawTransparentFirstFrame(const Renderer* renderer, OffscreenTarget* target, const GpuMesh* mesh, f32 zoom,
                               bool yUp, u8* bgra, const ReportSink* sink);
