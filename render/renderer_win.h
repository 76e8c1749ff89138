// The GPU side of a 3D view: device, shaders, states and constant buffers (Renderer), the
// window's swap chain and target views (SwapChainTarget), both inside the view's state
// (ViewState). Created on first need by ensureGpu, from any thread; guarded by gpuLock.
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
    ID3D11Buffer* eyeConstants;   // "Eye", 80 bytes
    ID3D11Buffer* meshConstants;  // "Mesh", 128 bytes
};

struct SwapChainTarget {
    IDXGISwapChain* swapChain;
    ID3D11RenderTargetView* renderTargetView;
    ID3D11Texture2D* depthTexture;
    ID3D11DepthStencilView* depthView;
};

struct ViewState {
    HWND window;
    u32 width;
    u32 height;
    bool rotating;
    bool panning;
    bool flipZoom;
    bool wireframe;
    bool yUp;
    i32 lastMouse[2];
    TurnAngle pitch;
    TurnAngle yaw;
    f32 zoom;  // cot(half the vertical field of view), 2 to 64
    Rotation3 rotation;
    f32 pan[3];
    f32 radius;
    Renderer renderer;
    SwapChainTarget target;
    GpuMesh* mesh;
    const ReportSink* sink;
    volatile u32 gpuLock;
    // Beyond the navigation and GPU state: the window and every load job that may still
    // create GPU objects for it hold a reference; the last one releases the GPU objects and
    // frees the record, so a window destroyed during a load never pulls them from under a
    // worker.
    volatile u32 references;
    // A paint or resize found gpuLock held by a worker; a short timer tries again.
    bool retryPending;
    bool resizePending;
    // Wine does not show what a swap chain presents to a child window (it renders child
    // windows off screen, and at times covers the window with that surface); there the swap
    // chain presents to a hidden window of the view's size, and each frame is copied to the
    // view through GDI.
    bool copiesThroughGdi;
    HWND presentWindow;            // the swap chain's window: the view's own, or the hidden one
    ID3D11Texture2D* gdiResolved;  // the back buffer resolved to one sample
    ID3D11Texture2D* gdiStaging;   // read by the CPU
    u32* gdiPixels;                // blue, green, red, unused: the DIB that GDI takes
    u64 gdiPixelCount;
};

#pragma pack(pop)

// The record is packed and allocated on 16-byte boundaries: the lock must not straddle
// one, so that its compare-exchange never splits across cache lines.
static_assert(offsetof(ViewState, gpuLock) % 16 <= 12, "gpuLock straddles a 16-byte boundary");

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

// The state of a new view of `window`: start angles, zoom 4.75, no GPU, no mesh.
void initViewState(ViewState* view, HWND window);
// rotation = rotationFromPitchYaw(pitch, yaw).
void updateRotation(ViewState* view);
// Half the diagonal of the mesh's bounding box, in metres: the camera stands five of them away.
f32 meshRadius(const GpuMesh* mesh);

// True at once when the device exists; otherwise creates the renderer and the swap chain
// of the view's window, reporting failures to `sink` (may be null). Safe from any thread
// and from several at once: the second caller waits for the first's outcome.
bool ensureGpu(ViewState* view, const ReportSink* sink);


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
// Every GPU object of the view, as after the loss of the GPU: the view paints its
// placeholder until the next load makes the GPU ready again. Called under gpuLock or by the
// view's last owner.
void releaseGpu(ViewState* view);

// A finished load's vertices as one immutable vertex buffer with its draw ranges, box and
// visibility; the vertex array is freed from the load's heap once the buffer holds it. On
// false (reported) nothing is left on the GPU.
bool prepareGpuMesh(GpuMesh* mesh, const Renderer* renderer, LoadedFile* file, const ReportSink* sink);
// Whether a load's triangles fit one vertex buffer; reported when not. Asked before the
// vertices are made, so that a mesh too large is refused before its memory is taken.
bool fitsOneVertexBuffer(const LoadResult* result, const ReportSink* sink);

// A view's state that stays valid until releaseViewState, or null when the window has none
// (not created yet, or destroyed). Safe from any thread.
ViewState* retainViewState(HWND window);
void releaseViewState(ViewState* view);
