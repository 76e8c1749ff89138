#include "render/renderer_win.h"

#include <dxgi.h>

#include "diag/messages.h"
#include "render/shader_constants.h"
#include "render/shaders.h"

bool reportIfFailed(HRESULT result, const ReportSink* sink) {
    if (SUCCEEDED(result))
        return false;
    reportDirect3DFailure(i32(result), sink);
    return true;
}

namespace {

const D3D11_INPUT_ELEMENT_DESC kInputLayout[] = {
    {"XYZ", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, D3D11_APPEND_ALIGNED_ELEMENT, D3D11_INPUT_PER_VERTEX_DATA, 0},
    {"NRM", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, D3D11_APPEND_ALIGNED_ELEMENT, D3D11_INPUT_PER_VERTEX_DATA, 0},
    {"CLR", 0, DXGI_FORMAT_R8G8B8A8_UNORM, 0, D3D11_APPEND_ALIGNED_ELEMENT, D3D11_INPUT_PER_VERTEX_DATA, 0},
};

D3D11_RASTERIZER_DESC rasterizerDesc(D3D11_FILL_MODE fill, D3D11_CULL_MODE cull) {
    D3D11_RASTERIZER_DESC desc = {};
    desc.FillMode = fill;
    desc.CullMode = cull;
    desc.FrontCounterClockwise = TRUE;  // STL facets wind counter-clockwise seen from outside
    desc.DepthClipEnable = TRUE;
    desc.MultisampleEnable = TRUE;
    desc.AntialiasedLineEnable = TRUE;
    return desc;
}

D3D11_BUFFER_DESC constantBufferDesc(UINT bytes) {
    D3D11_BUFFER_DESC desc = {};
    desc.ByteWidth = bytes;
    desc.Usage = D3D11_USAGE_DYNAMIC;  // rewritten every frame
    desc.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    return desc;
}

}  // namespace

bool createShadersAndStates(Renderer* r, const ReportSink* sink) {
    ID3D11Device* device = r->device;
    ID3D11VertexShader* vertexShader = nullptr;
    ID3D11InputLayout* inputLayout = nullptr;
    ID3D11PixelShader* pixelShader = nullptr;
    ID3D11RasterizerState* solidState = nullptr;
    ID3D11RasterizerState* wireframeState = nullptr;
    ID3D11Buffer* eyeConstants = nullptr;
    ID3D11Buffer* meshConstants = nullptr;
    D3D11_RASTERIZER_DESC solid = rasterizerDesc(D3D11_FILL_SOLID, D3D11_CULL_BACK);
    D3D11_RASTERIZER_DESC wireframe = rasterizerDesc(D3D11_FILL_WIREFRAME, D3D11_CULL_NONE);
    D3D11_BUFFER_DESC eye = constantBufferDesc(sizeof(EyeConstants));
    D3D11_BUFFER_DESC mesh = constantBufferDesc(sizeof(MeshConstants));
    // Each step in order; the first failure is reported and undoes what came before it.
    bool ok = !reportIfFailed(device->CreateVertexShader(kVertexShaderBytes, sizeof kVertexShaderBytes, nullptr, &vertexShader), sink) &&
              !reportIfFailed(device->CreateInputLayout(kInputLayout, 3, kVertexShaderBytes, sizeof kVertexShaderBytes, &inputLayout), sink) &&
              !reportIfFailed(device->CreatePixelShader(kPixelShaderBytes, sizeof kPixelShaderBytes, nullptr, &pixelShader), sink) &&
              !reportIfFailed(device->CreateRasterizerState(&solid, &solidState), sink) &&
              !reportIfFailed(device->CreateRasterizerState(&wireframe, &wireframeState), sink) &&
              !reportIfFailed(device->CreateBuffer(&eye, nullptr, &eyeConstants), sink) &&
              !reportIfFailed(device->CreateBuffer(&mesh, nullptr, &meshConstants), sink);
    if (!ok) {
        releaseReference(meshConstants);
        releaseReference(eyeConstants);
        releaseReference(wireframeState);
        releaseReference(solidState);
        releaseReference(pixelShader);
        releaseReference(inputLayout);
        releaseReference(vertexShader);
        return false;
    }
    r->vertexShader = vertexShader;
    r->inputLayout = inputLayout;
    r->pixelShader = pixelShader;
    r->solidState = solidState;
    r->wireframeState = wireframeState;
    r->eyeConstants = eyeConstants;
    r->meshConstants = meshConstants;
    return true;
}

bool createRenderer(Renderer* r, const ReportSink* sink) {
    return createRendererOn(r, D3D_DRIVER_TYPE_HARDWARE, sink);
}

bool createRendererOn(Renderer* r, D3D_DRIVER_TYPE driver, const ReportSink* sink) {
    // The debug layer is never asked for: it is absent from users' machines.
    const UINT flags = D3D11_CREATE_DEVICE_BGRA_SUPPORT;
    D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL(0);
    if (reportIfFailed(D3D11CreateDevice(nullptr, driver, nullptr, flags, nullptr, 0, D3D11_SDK_VERSION, nullptr,
                                 &level, nullptr),
               sink))
        return false;
    if (sink)
        report(sink, kGpuFeatureLevel, u32(level));
    if (level < D3D_FEATURE_LEVEL_10_0) {
        if (sink)
            report(sink, kD3DGpuTooOld);
        return false;
    }
    ID3D11Device* device = nullptr;
    ID3D11DeviceContext* context = nullptr;
    if (reportIfFailed(D3D11CreateDevice(nullptr, driver, nullptr, flags, &level, 1, D3D11_SDK_VERSION, &device,
                                 nullptr, &context),
               sink))
        return false;
    r->device = device;
    r->context = context;
    if (level < D3D_FEATURE_LEVEL_11_0) {
        // A level 10 adapter may or may not run compute shaders; an unanswered question reads as no.
        D3D11_FEATURE_DATA_D3D10_X_HARDWARE_OPTIONS options = {};
        if (FAILED(device->CheckFeatureSupport(D3D11_FEATURE_D3D10_X_HARDWARE_OPTIONS, &options, sizeof options)))
            options.ComputeShaders_Plus_RawAndStructuredBuffers_Via_Shader_4_x = FALSE;
        if (sink)
            report(sink, kGpuComputeShaders, options.ComputeShaders_Plus_RawAndStructuredBuffers_Via_Shader_4_x);
    }
    if (!createShadersAndStates(r, sink)) {
        releaseDevice(r);
        return false;
    }
    return true;
}

bool createTargetViews(ID3D11Device* device, SwapChainTarget* target, const ReportSink* sink) {
    ID3D11Texture2D* backBuffer = nullptr;
    if (reportIfFailed(target->swapChain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&backBuffer)), sink))
        return false;
    ID3D11RenderTargetView* renderTargetView = nullptr;
    ID3D11Texture2D* depthTexture = nullptr;
    ID3D11DepthStencilView* depthView = nullptr;
    // The depth buffer is the back buffer's size and sample count, in a depth format.
    D3D11_TEXTURE2D_DESC depth;
    backBuffer->GetDesc(&depth);
    depth.MipLevels = 1;
    depth.ArraySize = 1;
    depth.Format = DXGI_FORMAT_D24_UNORM_S8_UINT;
    depth.Usage = D3D11_USAGE_DEFAULT;
    depth.BindFlags = D3D11_BIND_DEPTH_STENCIL;
    depth.CPUAccessFlags = 0;
    depth.MiscFlags = 0;
    bool ok = !reportIfFailed(device->CreateRenderTargetView(backBuffer, nullptr, &renderTargetView), sink) &&
              !reportIfFailed(device->CreateTexture2D(&depth, nullptr, &depthTexture), sink) &&
              !reportIfFailed(device->CreateDepthStencilView(depthTexture, nullptr, &depthView), sink);
    backBuffer->Release();
    if (!ok) {
        releaseReference(depthView);
        releaseReference(depthTexture);
        releaseReference(renderTargetView);
        return false;
    }
    target->renderTargetView = renderTargetView;
    target->depthTexture = depthTexture;
    target->depthView = depthView;
    return true;
}

bool createSwapChainTarget(ID3D11Device* device, SwapChainTarget* target, HWND window, const ReportSink* sink) {
    target->swapChain = nullptr;
    IDXGISwapChain* swapChain = nullptr;
    IDXGIDevice* dxgiDevice = nullptr;
    if (!reportIfFailed(device->QueryInterface(__uuidof(IDXGIDevice), reinterpret_cast<void**>(&dxgiDevice)), sink)) {
        IDXGIAdapter1* adapter = nullptr;
        if (!reportIfFailed(dxgiDevice->GetParent(__uuidof(IDXGIAdapter1), reinterpret_cast<void**>(&adapter)), sink)) {
            IDXGIFactory1* factory = nullptr;
            if (!reportIfFailed(adapter->GetParent(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(&factory)), sink)) {
                DXGI_SWAP_CHAIN_DESC desc = {};
                desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;  // size 0 x 0: the window's client area
                desc.SampleDesc.Count = 4;
                desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT | DXGI_USAGE_BACK_BUFFER;
                desc.BufferCount = 1;
                desc.OutputWindow = window;
                desc.Windowed = TRUE;
                desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
                if (!reportIfFailed(factory->CreateSwapChain(device, &desc, &swapChain), sink)) {
                    // Alt+Enter would otherwise try to take the view, a child window, full
                    // screen. Microsoft's IDXGIFactory::MakeWindowAssociation page: call it
                    // after creating the swap chain, on the factory that created it (the
                    // swap chain's GetParent). A refusal leaves DXGI's default: not an error.
                    IDXGIFactory* owner = nullptr;
                    if (SUCCEEDED(swapChain->GetParent(__uuidof(IDXGIFactory), reinterpret_cast<void**>(&owner)))) {
                        owner->MakeWindowAssociation(window, DXGI_MWA_NO_ALT_ENTER | DXGI_MWA_NO_WINDOW_CHANGES);
                        owner->Release();
                    }
                }
                factory->Release();
            }
            adapter->Release();
        }
        dxgiDevice->Release();
    }
    if (!swapChain)
        return false;
    target->swapChain = swapChain;
    if (!createTargetViews(device, target, sink)) {
        releaseReference(target->swapChain);
        return false;
    }
    return true;
}

void releaseDevice(Renderer* r) {
    if (r->context) {
        r->context->ClearState();
        r->context->Flush();
    }
    releaseReference(r->context);
    releaseReference(r->device);
}

void releaseRenderer(Renderer* r) {
    releaseReference(r->meshConstants);
    releaseReference(r->eyeConstants);
    releaseReference(r->wireframeState);
    releaseReference(r->solidState);
    releaseReference(r->pixelShader);
    releaseReference(r->inputLayout);
    releaseReference(r->vertexShader);
    releaseDevice(r);
}

// Every field of a Renderer is an interface pointer.
enum : u32 { kRendererInterfaces = sizeof(Renderer) / sizeof(IUnknown*) };

void shareRenderer(Renderer* to, const Renderer* from) {
    *to = *from;
    IUnknown** objects = reinterpret_cast<IUnknown**>(to);
    for (u32 i = 0; i < kRendererInterfaces; ++i)
        if (objects[i])
            objects[i]->AddRef();
}

void releaseSharedRenderer(Renderer* renderer) {
    IUnknown** objects = reinterpret_cast<IUnknown**>(renderer);
    for (u32 i = kRendererInterfaces; i-- > 0;)
        releaseReference(objects[i]);
}

void releaseSwapChainTarget(SwapChainTarget* target) {
    releaseReference(target->depthView);
    releaseReference(target->depthTexture);
    releaseReference(target->renderTargetView);
    releaseReference(target->swapChain);
}
