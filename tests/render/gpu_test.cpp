// The GPU side under Wine and Xvfb: device creation once for any number of callers, a mesh
// too large for one buffer, and one triangle drawn with the program's shaders and states.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "support/view_harness_win.h"

// Two threads at once make one device, which reports its feature level once; a later call
// keeps it and reports nothing.
TEST(Gpu, OneDeviceForConcurrentCallersAndAHugeMeshIsRefused) {
    ViewHarness harness;
    ViewState* view = harness.state();
    TranslatingSink first, second;
    bool results[2] = {};
    std::thread a([&] { results[0] = ensureGpu(view, &first.sink); });
    std::thread b([&] { results[1] = ensureGpu(view, &second.sink); });
    a.join();
    b.join();
    EXPECT_TRUE(results[0] && results[1]);
    ID3D11Device* device = view->renderer.device;
    EXPECT_TRUE(ensureGpu(view, &first.sink));
    EXPECT_EQ(view->renderer.device, device);
    std::vector<std::u16string> lines = first.recorder.lines(), more = second.recorder.lines();
    lines.insert(lines.end(), more.begin(), more.end());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(u"D3D info: GPU supports Direct3D ", 0), 0u);

    // 153,391,692 vertices do not fit one buffer's 32-bit byte width: refused before anything
    // is allocated for them.
    LoadHeap heap = createLoadHeap();
    StlSolid solid = {0, 0, 51130564, nullptr, {nullptr, 0, 0}};
    LoadResult result = {kFormatBinary, {nullptr, &solid, 1}, {}};
    GpuMesh mesh = {};
    TranslatingSink chain;
    EXPECT_FALSE(prepareGpuMesh(&mesh, &view->renderer, &result, nullptr, heap, &chain.sink));
    EXPECT_EQ(chain.recorder.lines(), std::vector<std::u16string>{u"out of GPU memory"});
    EXPECT_EQ(mesh.vertexBuffer, nullptr);
    destroyLoadHeap(heap);
}

// One triangle drawn with the program's shaders, states and constant-buffer layout, read
// back after resolving the multisampled target: lit pixel and background as computed.
TEST(Gpu, DrawnTriangleMatchesTheLightingFormula) {
    ViewHarness harness(128, 128);
    ViewState* view = harness.state();
    ASSERT_TRUE(ensureGpu(view, nullptr));
    const Renderer& r = view->renderer;
    ID3D11DeviceContext* context = r.context;
    OffscreenTarget& target = harness.target;  // released with the harness
    ASSERT_TRUE(createOffscreenTarget(r.device, &target, 128, 128, nullptr));

    // Clip space = world space: a triangle at depth 0.5 facing the eye at (0, 0, -1), tilted
    // normal so that every term of the formula contributes.
    GpuVertex vertices[3] = {{{-0.9f, -0.9f, 0.5f}, {0.3f, 0.5f, -0.8f}, {255, 128, 32, 255}},
                             {{0.9f, -0.9f, 0.5f}, {0.3f, 0.5f, -0.8f}, {255, 128, 32, 255}},
                             {{0.0f, 0.9f, 0.5f}, {0.3f, 0.5f, -0.8f}, {255, 128, 32, 255}}};
    D3D11_BUFFER_DESC desc = {sizeof vertices, D3D11_USAGE_IMMUTABLE, D3D11_BIND_VERTEX_BUFFER, 0, 0, 28};
    D3D11_SUBRESOURCE_DATA data = {vertices, 0, 0};
    ID3D11Buffer* buffer = nullptr;
    ASSERT_EQ(r.device->CreateBuffer(&desc, &data, &buffer), S_OK);

    // Identity transforms, the eye at (0, 0, -1), the material (1, 0.75, 1).
    const f32 eye[20] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0};
    const f32 mesh[32] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,
                          1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0.75f, 1, 1};
    auto upload = [&](ID3D11Buffer* constants, const f32* values, size_t bytes) {
        D3D11_MAPPED_SUBRESOURCE mapped;
        ASSERT_EQ(context->Map(constants, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped), S_OK);
        std::memcpy(mapped.pData, values, bytes);
        context->Unmap(constants, 0);
    };
    upload(r.eyeConstants, eye, sizeof eye);
    upload(r.meshConstants, mesh, sizeof mesh);

    const f32 clear[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    context->ClearRenderTargetView(target.renderTargetView, clear);
    context->ClearDepthStencilView(target.depthView, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 1.0f, 0);
    context->VSSetShader(r.vertexShader, nullptr, 0);
    context->IASetInputLayout(r.inputLayout);
    ID3D11Buffer* constants[2] = {r.eyeConstants, r.meshConstants};
    context->VSSetConstantBuffers(0, 2, constants);
    D3D11_VIEWPORT viewport = {0, 0, 128, 128, 0, 1};
    context->RSSetViewports(1, &viewport);
    context->PSSetShader(r.pixelShader, nullptr, 0);
    context->OMSetRenderTargets(1, &target.renderTargetView, target.depthView);
    UINT stride = 28, offset = 0;
    context->IASetVertexBuffers(0, 1, &buffer, &stride, &offset);
    context->RSSetState(r.solidState);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context->Draw(3, 0);
    buffer->Release();

    Pixels frame = readPixels(r, &target);
    ASSERT_EQ(frame.width, 128u);
    // Worked by hand for the pixel centre (64.5, 64.5), clip (1/128, -1/128): V = (1/128,
    // -1/128, 1.5) normalised, N = (0.3, 0.5, -0.8) normalised, R = V - 2(V.N)N = (0.496,
    // 0.812, -0.308); specular (0.13125 R.y + 0.07 + 0.2625 |R.x| + 0.56875 max(R.L, 0))^8 =
    // 0.0632; diffuse 0.16 (0.6 + 0.3 N.y) + 0.064 |N.x| + 0.64 max(N.L, 0) = 0.2505; colour
    // K = (1, 0.376, 0.125), K K d + s = (0.3137, 0.0987, 0.0672), sRGB-encoded (152, 88, 73).
    // The clear colour (0.2, 0.4, 0.6) encodes to (124, 170, 203).
    const int lit[3] = {152, 88, 73}, background[3] = {124, 170, 203};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(int(frame.at(64, 64) >> (16 - 8 * i) & 0xFF), lit[i], 2) << "channel " << i;
        EXPECT_NEAR(int(frame.at(2, 2) >> (16 - 8 * i) & 0xFF), background[i], 1) << "channel " << i;
    }
}
