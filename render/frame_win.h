// One frame of a 3D view drawn into a target, and the way back from the GPU for frames the
// CPU reads (the console tool's pictures, and the view's frames under Wine).
#pragma once

#include "render/camera.h"
#include "render/renderer_win.h"

// Linear value of each 8-bit sRGB code: the clear colour's conversion and the transparent
// pictures' edge correction share it.
extern const f32 srgbToLinear[256];

// Where a frame goes: a render target with its depth buffer, both of this size.
struct FrameTarget {
    ID3D11RenderTargetView* renderTargetView;
    ID3D11DepthStencilView* depthView;
    u32 width;
    u32 height;
};

// What a frame shows, besides the camera.
struct Scene {
    const GpuMesh* mesh;
    bool wireframe;
    bool yUp;  // the file's Y axis points up; otherwise its Z axis does
    bool transparent;  // cleared to alpha 0 instead of the workspace colour: a picture laid over another
    bool marks;  // the mesh check's marks, when the mesh has their buffer
    const f32* background;  // linear red, green, blue, alpha instead of the workspace colour; may be null
};

// Records one frame into the immediate context: cleared to the scene's background, else the
// system's workspace colour (or to nothing, for a transparent scene), then a draw per visible solid, with the marks'
// tinted triangles before them (so that the same triangles, at the same depth, do not cover
// them) and their edges after, over all. A failed constant buffer update is reported to `sink`.
void drawFrame(const Renderer* renderer, const FrameTarget* target, const Scene* scene, const Camera* camera,
               const ReportSink* sink);

// The two textures a frame passes through on its way to the CPU: resolved to one sample,
// then copied where the CPU can map it. Made once per size of `source`.
bool createReadBackTextures(ID3D11Device* device, const D3D11_TEXTURE2D_DESC* source, ID3D11Texture2D** resolved,
                            ID3D11Texture2D** staging, const ReportSink* sink);
// Queues the resolve and the copy of `source` (an sRGB target).
void copyForReadBack(ID3D11DeviceContext* context, ID3D11Texture2D* source, ID3D11Texture2D* resolved,
                     ID3D11Texture2D* staging);
// Waits for the copy and writes its pixels top row first as blue, green, red, and with
// `pixelBytes` 4 the alpha after each (the layout of a 32-bit DIB; GDI ignores that byte).
bool readBackPixels(ID3D11DeviceContext* context, ID3D11Texture2D* staging, u32 pixelBytes, u8* out,
                    const ReportSink* sink);
