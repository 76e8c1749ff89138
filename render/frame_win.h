// One frame of the 3D view: camera, projection, constant buffers, a draw per visible solid
// and presentation, and the swap chain's response to a new client size.
#pragma once

#include "render/renderer_win.h"

// Linear value of each 8-bit sRGB code (IEC 61966-2-1).
extern const f32 srgbToLinear[256];

// The WM_PAINT path with a device and a mesh; called with gpuLock held. A failed Present is
// a lost GPU: reported to the view's sink, every GPU object released, device null.
void paintFrame(ViewState* view);

// Records one frame into the immediate context.
void drawFrame(const Renderer* renderer, bool wireframe, const GpuMesh* mesh, ID3D11RenderTargetView* renderTargetView,
               ID3D11DepthStencilView* depthView, u32 width, u32 height, const Rotation3* rotation, const f32 pan[3],
               f32 radius, f32 zoom, bool yUp, const f32 clearColour[4], const ReportSink* sink);

// The WM_SIZE path. 0 in either size changes nothing. Returns false when the lock was busy
// (a worker is creating the device): the caller tries again later.
bool resizeTarget(ViewState* view, i32 width, i32 height);
