// The GPU side under Wine and Xvfb: device creation, the uploaded vertex buffer read back,
// and a triangle drawn with the program's shaders compared with the lighting formula.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "render/renderer_win.h"
#include "render/shaders.h"
#include "stl/detect.h"
#include "stl/map_file.h"
#include "stl/provenance.h"
#include "support/sinks.h"

namespace {

HWND createTestWindow() {
    static ATOM windowClass = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VantorelRenderTest";
        return RegisterClassW(&wc);
    }();
    (void)windowClass;
    return CreateWindowExW(0, L"VantorelRenderTest", L"render test", WS_POPUP | WS_VISIBLE, 0, 0, 128, 128, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// A view with its own window; releases what ensureGpu created.
struct TestView {
    ViewState view;
    TestView() { initViewState(&view, createTestWindow()); }
    ~TestView() {
        if (view.renderer.device) {
            releaseSwapChainTarget(&view.target);
            releaseRenderer(&view.renderer);
        }
        DestroyWindow(view.window);
    }
};

struct LoadedFile {
    const u8* view = nullptr;
    u64 size = 0;
    LoadHeap heap = createLoadHeap();
    LoadResult result = {};

    explicit LoadedFile(const char* name) {
        std::string path = std::string(VANTOREL_FIXTURES) + "/" + name;
        std::wstring wide(path.begin(), path.end());
        EXPECT_TRUE(mapFile(&view, &size, wide.c_str(), nullptr)) << name;
        EXPECT_TRUE(parseStl(&result, kFormatUnknown, view, view + size, heap, nullptr)) << name;
        applyLoadDefaults(&result.provenance, nullptr);
    }
    ~LoadedFile() {
        destroyLoadHeap(heap);
        unmapFile(view);
    }
};

std::vector<u8> readBuffer(const Renderer& r, ID3D11Buffer* buffer, u32 bytes) {
    D3D11_BUFFER_DESC desc = {};
    desc.ByteWidth = bytes;
    desc.Usage = D3D11_USAGE_STAGING;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ID3D11Buffer* staging = nullptr;
    EXPECT_EQ(r.device->CreateBuffer(&desc, nullptr, &staging), S_OK);
    r.context->CopyResource(staging, buffer);
    D3D11_MAPPED_SUBRESOURCE mapped = {};
    std::vector<u8> bytesRead;
    if (SUCCEEDED(r.context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped))) {
        bytesRead.assign(static_cast<u8*>(mapped.pData), static_cast<u8*>(mapped.pData) + bytes);
        r.context->Unmap(staging, 0);
    }
    staging->Release();
    return bytesRead;
}

}  // namespace

TEST(Gpu, EnsureGpuCreatesOnceAndReportsTheLevel) {
    TestView test;
    TranslatingSink chain;
    ASSERT_TRUE(ensureGpu(&test.view, &chain.sink));
    ASSERT_EQ(chain.recorder.lines().size(), 1u);
    EXPECT_EQ(chain.recorder.lines()[0].rfind(u"D3D info: GPU supports Direct3D ", 0), 0u);
    EXPECT_NE(test.view.target.renderTargetView, nullptr);
    EXPECT_NE(test.view.target.depthView, nullptr);
    ID3D11Device* device = test.view.renderer.device;
    EXPECT_TRUE(ensureGpu(&test.view, &chain.sink));
    EXPECT_EQ(test.view.renderer.device, device);
    EXPECT_EQ(chain.recorder.lines().size(), 1u) << "an existing device reports nothing";
}

TEST(Gpu, TwoThreadsAtOnceMakeOneDevice) {
    TestView test;
    RecordingSink first, second;
    bool results[2] = {};
    std::thread a([&] { results[0] = ensureGpu(&test.view, &first.sink); });
    std::thread b([&] { results[1] = ensureGpu(&test.view, &second.sink); });
    a.join();
    b.join();
    EXPECT_TRUE(results[0] && results[1]);
    size_t levels = 0;
    for (const RecordingSink* sink : {&first, &second})
        for (ResultCode code : sink->codes())
            levels += code == kGpuFeatureLevel;
    EXPECT_EQ(levels, 1u);
}

// The vertex buffer holds what the CPU preparation wrote (whose colours, normals and ranges
// the mesh tests check), for every kind of file.
TEST(Gpu, UploadedVerticesReadBack) {
    TestView test;
    ASSERT_TRUE(ensureGpu(&test.view, nullptr));
    const Renderer& r = test.view.renderer;
    for (const char* name : {"cube_ascii.stl", "cube_binary.stl", "coloured_rgb.stl", "coloured_bgr.stl", "two_solids.stl", "two_blocks.stl"}) {
        LoadedFile file(name);
        GpuMesh* mesh = allocateArrayOf<GpuMesh>(file.heap, 1, nullptr);
        RecordingSink recorder;
        ASSERT_TRUE(prepareGpuMesh(mesh, &r, &file.result, nullptr, file.heap, &recorder.sink)) << name;
        ASSERT_NE(mesh->vertexBuffer, nullptr);
        std::vector<u8> gpu = readBuffer(r, mesh->vertexBuffer, mesh->vertexCount * 28);
        PreparedVertices expected;
        ASSERT_TRUE(prepareVertices(&file.result, file.heap, nullptr, &expected));
        ASSERT_EQ(u64(mesh->vertexCount), expected.vertexCount) << name;
        EXPECT_EQ(std::memcmp(gpu.data(), expected.vertices, gpu.size()), 0) << name;
        EXPECT_EQ(mesh->colour, 0xFFFFFFFFu);
        mesh->vertexBuffer->Release();
    }
}

TEST(Gpu, MeshTooLargeForOneBufferIsRefused) {
    TestView test;
    ASSERT_TRUE(ensureGpu(&test.view, nullptr));
    LoadHeap heap = createLoadHeap();
    StlSolid solid = {0, 0, 51130564, nullptr, {nullptr, 0, 0}};  // 153,391,692 vertices
    LoadResult result = {kFormatBinary, {nullptr, &solid, 1}, {}};
    GpuMesh mesh = {};
    TranslatingSink chain;
    EXPECT_FALSE(prepareGpuMesh(&mesh, &test.view.renderer, &result, nullptr, heap, &chain.sink));
    EXPECT_EQ(chain.recorder.lines(), std::vector<std::u16string>{u"out of GPU memory"});
    EXPECT_EQ(mesh.vertexBuffer, nullptr);
    destroyLoadHeap(heap);
}


// One triangle drawn with the program's shaders, states and constant-buffer layout, read
// back after resolving the multisampled target: lit pixel and background as computed.
TEST(Gpu, DrawnTriangleMatchesTheLightingFormula) {
    TestView test;
    ASSERT_TRUE(ensureGpu(&test.view, nullptr));
    const Renderer& r = test.view.renderer;
    ID3D11DeviceContext* context = r.context;

    // Clip space = world space: a triangle at depth 0.5 facing the eye at (0, 0, -1), tilted
    // normal so that every term of the formula contributes.
    const f32 normal[3] = {0.3f, 0.5f, -0.8f};
    GpuVertex vertices[3] = {};
    const f32 positions[3][3] = {{-0.9f, -0.9f, 0.5f}, {0.9f, -0.9f, 0.5f}, {0.0f, 0.9f, 0.5f}};
    for (int i = 0; i < 3; ++i) {
        std::memcpy(vertices[i].position, positions[i], 12);
        std::memcpy(vertices[i].normal, normal, 12);
        const u8 colour[4] = {255, 128, 32, 255};
        std::memcpy(vertices[i].colour, colour, 4);
    }
    D3D11_BUFFER_DESC desc = {sizeof vertices, D3D11_USAGE_IMMUTABLE, D3D11_BIND_VERTEX_BUFFER, 0, 0, 28};
    D3D11_SUBRESOURCE_DATA data = {vertices, 0, 0};
    ID3D11Buffer* buffer = nullptr;
    ASSERT_EQ(r.device->CreateBuffer(&desc, &data, &buffer), S_OK);

    const f32 eye[20] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0};
    const f32 material[3] = {1.0f, 0.75f, 1.0f};
    const f32 meshConstants[32] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,
                                   1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, material[0], material[1], material[2], 1};
    D3D11_MAPPED_SUBRESOURCE mapped;
    ASSERT_EQ(context->Map(r.eyeConstants, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped), S_OK);
    std::memcpy(mapped.pData, eye, sizeof eye);
    context->Unmap(r.eyeConstants, 0);
    ASSERT_EQ(context->Map(r.meshConstants, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped), S_OK);
    std::memcpy(mapped.pData, meshConstants, sizeof meshConstants);
    context->Unmap(r.meshConstants, 0);

    const f32 clear[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    context->ClearRenderTargetView(test.view.target.renderTargetView, clear);
    context->ClearDepthStencilView(test.view.target.depthView, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 1.0f, 0);
    context->VSSetShader(r.vertexShader, nullptr, 0);
    context->IASetInputLayout(r.inputLayout);
    ID3D11Buffer* constants[2] = {r.eyeConstants, r.meshConstants};
    context->VSSetConstantBuffers(0, 2, constants);
    D3D11_VIEWPORT viewport = {0, 0, 128, 128, 0, 1};
    context->RSSetViewports(1, &viewport);
    context->PSSetShader(r.pixelShader, nullptr, 0);
    ID3D11RenderTargetView* target = test.view.target.renderTargetView;
    context->OMSetRenderTargets(1, &target, test.view.target.depthView);
    UINT stride = 28, offset = 0;
    context->IASetVertexBuffers(0, 1, &buffer, &stride, &offset);
    context->RSSetState(r.solidState);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context->Draw(3, 0);

    // Resolve the four samples, then copy to a texture the CPU can read.
    ID3D11Texture2D* backBuffer = nullptr;
    ASSERT_EQ(test.view.target.swapChain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&backBuffer)), S_OK);
    D3D11_TEXTURE2D_DESC texture;
    backBuffer->GetDesc(&texture);
    EXPECT_EQ(texture.SampleDesc.Count, 4u);
    texture.SampleDesc.Count = 1;
    texture.SampleDesc.Quality = 0;
    texture.BindFlags = 0;
    ID3D11Texture2D* resolved = nullptr;
    ASSERT_EQ(r.device->CreateTexture2D(&texture, nullptr, &resolved), S_OK);
    context->ResolveSubresource(resolved, 0, backBuffer, 0, texture.Format);
    texture.Usage = D3D11_USAGE_STAGING;
    texture.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ID3D11Texture2D* staging = nullptr;
    ASSERT_EQ(r.device->CreateTexture2D(&texture, nullptr, &staging), S_OK);
    context->CopyResource(staging, resolved);
    ASSERT_EQ(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    auto pixel = [&](int x, int y) {
        const u8* p = static_cast<const u8*>(mapped.pData) + y * mapped.RowPitch + 4 * x;
        return std::vector<int>{p[0], p[1], p[2]};
    };
    std::vector<int> lit = pixel(64, 64);
    std::vector<int> background = pixel(2, 2);
    context->Unmap(staging, 0);

    // Worked by hand for the pixel centre (64.5, 64.5), clip (1/128, -1/128): V = (1/128,
    // -1/128, 1.5) normalised, N = (0.3, 0.5, -0.8) normalised, R = V - 2(V.N)N = (0.496,
    // 0.812, -0.308); specular (0.13125 R.y + 0.07 + 0.2625 |R.x| + 0.56875 max(R.L, 0))^8 =
    // 0.0632; diffuse 0.16 (0.6 + 0.3 N.y) + 0.064 |N.x| + 0.64 max(N.L, 0) = 0.2505; colour
    // K = (1, 0.376, 0.125), K K d + s = (0.3137, 0.0987, 0.0672), sRGB-encoded (152, 88, 73).
    // The clear colour (0.2, 0.4, 0.6) encodes to (124, 170, 203).
    const int expectedLit[3] = {152, 88, 73}, expectedBackground[3] = {124, 170, 203};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(lit[i], expectedLit[i], 2) << "channel " << i;
        EXPECT_NEAR(background[i], expectedBackground[i], 1) << "channel " << i;
    }
    staging->Release();
    resolved->Release();
    backBuffer->Release();
    buffer->Release();
}
