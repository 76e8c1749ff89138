// The GPU objects that draw: device, shaders, states and constant buffers (Renderer), and
// a window's swap chain with its target views (SwapChainTarget). The view window keeps one
// of each in its ViewState; the console tool's pictures make a Renderer of their own.
#pragma once

#include <d3d11.h>

#include "diag/report.h"
#include "render/math.h"
#include "render/mesh.h"
#include "stl/load_road.h"

#pragma pack(push, 1)

// Each pointer holds one reference; null when absent. A null device means no GPU state.
struct Renderer {
    ID3D11Device* device;
    ID3D11DeviceContext* context;
    ID3D11VertexShader* vertexShader;
    ID3D11InputLayout* inputLayout;
    ID3D11PixelShader* pixelShader;
    ID3D11RasterizerState* solidState;
    ID3D11RasterizerState* wireframeState;
    ID3D11Buffer* eyeConstants;   // EyeConstants
    ID3D11Buffer* meshConstants;  // MeshConstants
};

struct SwapChainTarget {
    IDXGISwapChain* swapChain;
    ID3D11RenderTargetView* renderTargetView;
    ID3D11Texture2D* depthTexture;
    ID3D11DepthStencilView* depthView;
};

#pragma pack(pop)

// Releases an interface's one reference and forgets it; a null pointer is skipped.
template <typename T>
void releaseReference(T*& object) {
    if (object) {
        object->Release();
        object = nullptr;
    }
}

// True, after reporting it, when a Direct3D or DXGI call failed.
bool reportIfFailed(HRESULT result, const ReportSink* sink);

// A device on the default hardware adapter with its shaders, states and constant buffers;
// failures reported to `sink` (may be null), nothing left behind on false.
bool createRenderer(Renderer* renderer, const ReportSink* sink);
// The same on another kind of driver (the software rasteriser for pictures without a GPU).
bool createRendererOn(Renderer* renderer, D3D_DRIVER_TYPE driver, const ReportSink* sink);
bool createShadersAndStates(Renderer* renderer, const ReportSink* sink);
bool createSwapChainTarget(ID3D11Device* device, SwapChainTarget* target, HWND window, const ReportSink* sink);
bool createTargetViews(ID3D11Device* device, SwapChainTarget* target, const ReportSink* sink);
// Each pointer released in reverse order of creation and set to null; absent ones skipped.
void releaseRenderer(Renderer* renderer);
void releaseDevice(Renderer* renderer);
void releaseSwapChainTarget(SwapChainTarget* target);
// A renderer on another's objects (one device for a whole process): each pointer copied with a
// reference of its own. Its release lets go of the references alone and leaves the context's
// state to the owners that draw with it.
void shareRenderer(Renderer* to, const Renderer* from);
void releaseSharedRenderer(Renderer* renderer);
// A finished load's vertices as one immutable vertex buffer with its draw ranges, box and
// visibility. The vertex array stays in the load's heap for its owner to free (the viewer's
// mesh check reads it after the upload). On false (reported) nothing is left on the GPU.
bool prepareGpuMesh(GpuMesh* mesh, const Renderer* renderer, LoadedFile* file, const ReportSink* sink);
// The mesh check's marks (markVertices, at least one) as a vertex buffer of their own.
bool prepareMarksBuffer(GpuMesh* mesh, ID3D11Device* device, const ReportSink* sink);
// Whether a load's triangles fit one vertex buffer; reported when not. Asked before the
// vertices are made, so that a mesh too large is refused before its memory is taken.
bool fitsOneVertexBuffer(const LoadResult* result, const ReportSink* sink);

