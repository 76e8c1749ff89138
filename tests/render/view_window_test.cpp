// The "STLView" window on a parent of the test: frames read back from its render target,
// navigation by real window messages, and the GPU failing under it.
#include <gtest/gtest.h>

#include <cmath>

#include "render/offscreen_win.h"
#include "support/view_harness_win.h"

namespace {

bool isModel(u32 rgb) {
    return rgb != workspaceColour();
}

bool isReddish(u32 rgb) {
    int r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return r > 2 * g + 20 && r > 2 * b + 20;
}

bool isBluish(u32 rgb) {
    int r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return b > 2 * r + 20 && b > 2 * g + 20;
}

// Words in the order red in the low five bits (RGB) and in the high five (BGR).
const u16 kRedRgb = 0x001F, kBlueRgb = 0x7C00, kRedBgr = 0x7C00;
const char kRgbHeader[] = "COLOR=\x80\x40\x20\xff,MATERIAL=\x80\x80\x80\xff";

// A post 10 x 10 x 40 along the file's `axis` (1 = Y, 2 = Z): blue at its foot, red at its top.
std::wstring post(ViewHarness& harness, const wchar_t* name, int axis) {
    f32 lo[3] = {0, 0, 0}, hi[3] = {10, 10, 10};
    std::vector<BinaryTriangle> triangles = box(0, 0, 0, 10, 10, 10, kBlueRgb);
    lo[axis] = 30;
    hi[axis] = 40;
    std::vector<BinaryTriangle> top = box(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2], kRedRgb);
    triangles.insert(triangles.end(), top.begin(), top.end());
    std::vector<u8> bytes = binaryFile(kRgbHeader, triangles);
    return harness.file(name, bytes.data(), bytes.size());
}

}  // namespace

TEST(ViewFrame, UpAxisColoursAndFraming) {
    ViewHarness harness;
    // Z up: the file's Z axis points up the screen; read as Y up, the same post lies down.
    std::wstring zPost = post(harness, L"post_z.stl", 2);
    ASSERT_EQ(harness.show(zPost, false)->status, kJobLoaded);
    Pixels standing = harness.frame();
    double redY, blueY;
    ASSERT_GT(standing.count(isReddish, &redY), 200u);
    ASSERT_GT(standing.count(isBluish, &blueY), 200u);
    EXPECT_LT(redY, blueY - 40) << "the top is above the foot";
    // Framed whole: nothing of the model on the border, and the background is exact there.
    for (u32 i = 0; i < standing.width; ++i) {
        EXPECT_EQ(standing.at(i, 0), workspaceColour());
        EXPECT_EQ(standing.at(i, standing.height - 1), workspaceColour());
        EXPECT_EQ(standing.at(0, i), workspaceColour());
        EXPECT_EQ(standing.at(standing.width - 1, i), workspaceColour());
    }
    harness.show(zPost, true);
    Pixels lying = harness.frame();
    lying.count(isReddish, &redY);
    lying.count(isBluish, &blueY);
    EXPECT_GT(redY, blueY - 10) << "read as Y up the post does not stand";

    std::wstring yPost = post(harness, L"post_y.stl", 1);
    harness.show(yPost, true);
    Pixels yUp = harness.frame();
    yUp.count(isReddish, &redY);
    yUp.count(isBluish, &blueY);
    EXPECT_LT(redY, blueY - 40);

    // The same red cube written by an RGB and by a BGR exporter comes out the same red.
    std::vector<u8> rgb = binaryFile(kRgbHeader, box(0, 0, 0, 10, 10, 10, kRedRgb));
    std::string bgrHeader = std::string("D:\\scans\\part.stl") + std::string(52, '_') + "_COLOR";
    std::vector<u8> bgr = binaryFile(bgrHeader, box(0, 0, 0, 10, 10, 10, kRedBgr));
    std::wstring rgbFile = harness.file(L"red_rgb.stl", rgb.data(), rgb.size());
    std::wstring bgrFile = harness.file(L"red_bgr.stl", bgr.data(), bgr.size());
    harness.show(rgbFile, false);
    Pixels fromRgb = harness.frame();
    harness.show(bgrFile, false);
    Pixels fromBgr = harness.frame();
    EXPECT_GT(fromRgb.count(isReddish), 2000u);
    EXPECT_GT(fromRgb.count(isReddish), fromRgb.count(isModel) * 95 / 100) << "all red but the smoothed edges";
    EXPECT_TRUE(fromRgb.rgb == fromBgr.rgb);
}

TEST(ViewFrame, HiddenEmptyAndBackFacingSolids) {
    ViewHarness harness;
    LoadJob* two = harness.show(fixturePath("two_solids.stl"), false);
    ASSERT_EQ(two->status, kJobLoaded);
    u32 both = harness.frame().count(isModel);
    two->solidVisible[1] = 0;
    u32 left = harness.frame().count(isModel);
    EXPECT_GT(left, 100u);
    EXPECT_LT(left, both);
    two->solidVisible[0] = 0;
    EXPECT_EQ(harness.frame().count(isModel), 0u);

    // An empty solid before the cube draws nothing of its own.
    const char text[] =
        "solid empty\nendsolid empty\nsolid cube\n"
        " facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 10 0 0\n   vertex 0 10 0\n  endloop\n endfacet\n"
        "endsolid cube\n";
    std::wstring withEmpty = harness.file(L"empty_solid.stl", text, sizeof text - 1);
    const char alone[] =
        "solid cube\n"
        " facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 10 0 0\n   vertex 0 10 0\n  endloop\n endfacet\n"
        "endsolid cube\n";
    std::wstring single = harness.file(L"one_solid.stl", alone, sizeof alone - 1);
    ASSERT_EQ(harness.show(withEmpty, false)->result.mesh.solidCount, 2u);
    Pixels a = harness.frame();
    harness.show(single, false);
    EXPECT_TRUE(a.rgb == harness.frame().rgb);

    // A triangle facing down, seen from above: culled when shaded, its edges drawn in wireframe.
    std::vector<BinaryTriangle> down(1);
    const f32 corners[9] = {0, 0, 0, 10, 0, 0, 0, 0, 10};
    std::copy(corners, corners + 9, down[0].vertices);
    std::vector<u8> bytes = binaryFile("", down);
    std::wstring facingDown = harness.file(L"facing_down.stl", bytes.data(), bytes.size());
    harness.show(facingDown, true);
    EXPECT_EQ(harness.frame().count(isModel), 0u);
    harness.state()->wireframe = true;
    EXPECT_GT(harness.frame().count(isModel), 50u);
}

TEST(ViewNavigation, DragsWheelAndFocus) {
    ViewHarness harness;
    ViewState* v = harness.state();
    auto drag = [&](UINT down, UINT up, int dx, int dy) {
        SendMessageW(harness.view, down, 0, MAKELPARAM(100, 100));
        SendMessageW(harness.view, WM_MOUSEMOVE, 0, MAKELPARAM(100 + dx, 100 + dy));
        SendMessageW(harness.view, up, 0, MAKELPARAM(100 + dx, 100 + dy));
    };
    auto yawTurn = [&](int dx) {
        TurnAngle before = v->yaw;
        drag(WM_LBUTTONDOWN, WM_LBUTTONUP, dx, 0);
        return double(i32(v->yaw - before)) / 683565248.0;
    };
    EXPECT_NEAR(yawTurn(100), -0.842, 0.001);
    v->zoom = 9.5f;
    EXPECT_NEAR(yawTurn(100), -0.421, 0.001);

    v->zoom = 4.75f;
    SendMessageW(harness.view, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_EQ(v->zoom, 5.046875f);
    v->zoom = 4.75f;
    v->flipZoom = true;
    SendMessageW(harness.view, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_EQ(v->zoom, 4.453125f);
    for (int i = 0; i < 100; ++i)
        SendMessageW(harness.view, WM_MOUSEWHEEL, MAKEWPARAM(0, u16(-120)), 0);
    EXPECT_EQ(v->zoom, 64.0f);
    for (int i = 0; i < 100; ++i)
        SendMessageW(harness.view, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_EQ(v->zoom, 2.0f);

    v->zoom = 4.75f;
    v->radius = 0.1f;
    drag(WM_RBUTTONDOWN, WM_RBUTTONUP, 10, 0);
    EXPECT_NEAR(std::sqrt(v->pan[0] * v->pan[0] + v->pan[1] * v->pan[1] + v->pan[2] * v->pan[2]), 0.00284, 0.00001);

    // The pointer hides during a drag, and a drag ends when the view loses the focus.
    SendMessageW(harness.view, WM_LBUTTONDOWN, 0, MAKELPARAM(10, 10));
    SendMessageW(harness.view, WM_SETCURSOR, WPARAM(harness.view), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), nullptr);
    EXPECT_EQ(GetCapture(), harness.view);
    SendMessageW(harness.view, WM_KILLFOCUS, 0, 0);
    EXPECT_FALSE(v->rotating);
    EXPECT_NE(GetCapture(), harness.view);
    SendMessageW(harness.view, WM_SETCURSOR, WPARAM(harness.view), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), nullptr);
}

namespace {

// Stands in for the view's swap chain and fails what the test asks, like a GPU that is lost
// or a resize the driver refuses; everything else goes to the real one.
struct FaultySwapChain : IDXGISwapChain {
    IDXGISwapChain* real;
    HRESULT presentResult = S_OK;
    HRESULT resizeResult = S_OK;
    ULONG references = 1;

    explicit FaultySwapChain(IDXGISwapChain* swapChain) : real(swapChain) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override { return real->QueryInterface(id, out); }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--references)
            return references;
        real->Release();
        delete this;
        return 0;
    }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID g, UINT n, const void* d) override { return real->SetPrivateData(g, n, d); }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID g, const IUnknown* u) override {
        return real->SetPrivateDataInterface(g, u);
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID g, UINT* n, void* d) override { return real->GetPrivateData(g, n, d); }
    HRESULT STDMETHODCALLTYPE GetParent(REFIID id, void** out) override { return real->GetParent(id, out); }
    HRESULT STDMETHODCALLTYPE GetDevice(REFIID id, void** out) override { return real->GetDevice(id, out); }
    HRESULT STDMETHODCALLTYPE Present(UINT interval, UINT flags) override {
        return FAILED(presentResult) ? presentResult : real->Present(interval, flags);
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT i, REFIID id, void** out) override { return real->GetBuffer(i, id, out); }
    HRESULT STDMETHODCALLTYPE SetFullscreenState(BOOL f, IDXGIOutput* o) override { return real->SetFullscreenState(f, o); }
    HRESULT STDMETHODCALLTYPE GetFullscreenState(BOOL* f, IDXGIOutput** o) override { return real->GetFullscreenState(f, o); }
    HRESULT STDMETHODCALLTYPE GetDesc(DXGI_SWAP_CHAIN_DESC* d) override { return real->GetDesc(d); }
    HRESULT STDMETHODCALLTYPE ResizeBuffers(UINT n, UINT w, UINT h, DXGI_FORMAT f, UINT flags) override {
        return FAILED(resizeResult) ? resizeResult : real->ResizeBuffers(n, w, h, f, flags);
    }
    HRESULT STDMETHODCALLTYPE ResizeTarget(const DXGI_MODE_DESC* d) override { return real->ResizeTarget(d); }
    HRESULT STDMETHODCALLTYPE GetContainingOutput(IDXGIOutput** o) override { return real->GetContainingOutput(o); }
    HRESULT STDMETHODCALLTYPE GetFrameStatistics(DXGI_FRAME_STATISTICS* s) override { return real->GetFrameStatistics(s); }
    HRESULT STDMETHODCALLTYPE GetLastPresentCount(UINT* n) override { return real->GetLastPresentCount(n); }
};

FaultySwapChain* injectFaults(ViewState* v) {
    FaultySwapChain* faulty = new FaultySwapChain(v->target.swapChain);
    v->target.swapChain = faulty;
    return faulty;
}

// What GDI shows of the view's client area: used for the placeholder, which is drawn by GDI.
Pixels screenOf(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    Pixels out;
    out.width = client.right;
    out.height = client.bottom;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), LONG(out.width), -LONG(out.height), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, out.width, out.height, screen, 0, 0, SRCCOPY);
    const u32* p = static_cast<const u32*>(bits);
    out.rgb.assign(p, p + out.width * out.height);
    for (u32& pixel : out.rgb)
        pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return out;
}

void paintNow(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

}  // namespace

TEST(ViewFaults, LostGpuAndFailedResizeShowThePlaceholderUntilTheNextLoad) {
    ViewHarness harness;
    ViewState* v = harness.state();
    const std::wstring cube = fixturePath("cube_binary.stl");
    ASSERT_EQ(harness.show(cube, false)->status, kJobLoaded);
    paintNow(harness.view);
    ASSERT_NE(v->renderer.device, nullptr);
    EXPECT_GT(screenOf(harness.view).count(isModel), 1000u) << "the frame reaches the screen";

    injectFaults(v)->presentResult = DXGI_ERROR_DEVICE_REMOVED;
    paintNow(harness.view);
    EXPECT_EQ(harness.sink.recorder.lines(),
              std::vector<std::u16string>{u"Direct3D 11 error: lost GPU (may be overload or driver problems)"});
    EXPECT_EQ(v->renderer.device, nullptr);
    EXPECT_EQ(v->target.swapChain, nullptr);
    paintNow(harness.view);
    Pixels placeholder = screenOf(harness.view);
    EXPECT_EQ(placeholder.at(2, 2), workspaceColour());
    // The error icon's top-left corner is the centre: red there, none above and left of it.
    EXPECT_GT(placeholder.count(isReddish), 50u);
    for (u32 y = 0; y < placeholder.height / 2; ++y)
        EXPECT_EQ(placeholder.at(placeholder.width / 4, y), workspaceColour());

    // The next load makes the GPU ready again and draws.
    ASSERT_EQ(harness.show(cube, false)->status, kJobLoaded);
    ASSERT_NE(v->renderer.device, nullptr);
    EXPECT_GT(harness.frame().count(isModel), 1000u);
    paintNow(harness.view);
    EXPECT_NE(v->renderer.device, nullptr);

    // Minimising keeps the size and the swap chain; a refused resize is reported and handled
    // like the lost GPU.
    IDXGISwapChain* swapChain = v->target.swapChain;
    SendMessageW(harness.view, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(v->width, 256u);
    EXPECT_EQ(v->target.swapChain, swapChain);
    injectFaults(v)->resizeResult = E_INVALIDARG;
    SetWindowPos(harness.view, nullptr, 0, 0, 200, 150, SWP_NOZORDER | SWP_NOMOVE);
    EXPECT_EQ(harness.sink.recorder.lines().back(), u"Direct3D 11 error: call, parameter, or state invalid");
    EXPECT_EQ(v->renderer.device, nullptr);
    EXPECT_EQ(v->width, 200u);
    paintNow(harness.view);  // the placeholder, without a swap chain to draw with
    ASSERT_EQ(harness.show(cube, false)->status, kJobLoaded);
    EXPECT_GT(harness.frame().count(isModel), 1000u);
}

// A worker that holds gpuLock (creating the device) neither blocks the window's thread nor
// loses its paint and resize: both are done once the lock is free.
TEST(ViewFaults, PaintAndResizeWhileAWorkerHoldsTheLock) {
    ViewHarness harness;
    ViewState* v = harness.state();
    ASSERT_EQ(harness.show(fixturePath("cube_binary.stl"), false)->status, kJobLoaded);
    acquireSpinLock(&v->gpuLock);
    SetWindowPos(harness.view, nullptr, 0, 0, 200, 150, SWP_NOZORDER | SWP_NOMOVE);
    paintNow(harness.view);
    EXPECT_EQ(v->width, 256u);
    EXPECT_TRUE(v->retryPending);
    releaseSpinLock(&v->gpuLock);
    EXPECT_TRUE(pumpUntil([&] { return v->width == 200 && !v->retryPending && !GetUpdateRect(harness.view, nullptr, FALSE); }, 2000));
    EXPECT_EQ(harness.frame().width, 200u);
}

// The view destroyed while a job creates its device and parses: no crash, no hang.
TEST(ViewFaults, WindowDestroyedDuringALoad) {
    std::vector<BinaryTriangle> many;
    for (int i = 0; i < 20000; ++i) {
        std::vector<BinaryTriangle> b = box(f32(i), 0, 0, f32(i) + 0.5f, 1, 1);
        many.insert(many.end(), b.begin(), b.end());
    }
    std::vector<u8> bytes = binaryFile("", many);
    TempFolder folder(L"vantorel_destroyed_");
    std::wstring large = folder.write(L"large.stl", std::string(bytes.begin(), bytes.end()));
    for (int round = 0; round < 3; ++round) {
        ViewHarness harness;
        LoadJob* job = harness.start(large);
        DestroyWindow(harness.view);
        ASSERT_TRUE(pumpUntil([&] { return harness.done(job); })) << round;
        EXPECT_NE(job->status, kJobRunning);
    }
}

// The console tool's picture of a file is the first frame a view of the same size shows.
TEST(ViewFrame, PictureWithoutAWindowIsTheFirstFrame) {
    ViewHarness harness(200, 150);
    LoadJob* job = harness.show(fixturePath("box_z_up.stl"), false);
    ASSERT_EQ(job->status, kJobLoaded);
    Pixels shown = harness.frame();

    Renderer renderer = {};
    bool software = true;
    ASSERT_TRUE(createOffscreenRenderer(&renderer, &software, nullptr));
    EXPECT_FALSE(software) << "this machine has a hardware device";
    OffscreenTarget target;
    ASSERT_TRUE(createOffscreenTarget(renderer.device, &target, 200, 150, nullptr));
    GpuMesh mesh = {};
    ASSERT_TRUE(prepareGpuMesh(&mesh, &renderer, &job->result, job->solidVisible, job->heap, nullptr));
    std::vector<u8> bgr(200 * 150 * 3);
    ASSERT_TRUE(drawFirstFrame(&renderer, &target, &mesh, false, bgr.data(), nullptr));
    std::vector<u32> picture;
    for (size_t i = 0; i < bgr.size(); i += 3)
        picture.push_back(u32(bgr[i + 2]) << 16 | u32(bgr[i + 1]) << 8 | bgr[i]);
    EXPECT_GT(shown.count(isModel), 1000u);
    EXPECT_TRUE(picture == shown.rgb);
    releaseVertexBuffer(&mesh);
    releaseOffscreenTarget(&target);
    releaseRenderer(&renderer);

    // Without a GPU the software rasteriser draws the same picture.
    ASSERT_TRUE(createRendererOn(&renderer, D3D_DRIVER_TYPE_WARP, nullptr));
    ASSERT_TRUE(createOffscreenTarget(renderer.device, &target, 200, 150, nullptr));
    ASSERT_TRUE(prepareGpuMesh(&mesh, &renderer, &job->result, job->solidVisible, job->heap, nullptr));
    std::vector<u8> warp(bgr.size());
    ASSERT_TRUE(drawFirstFrame(&renderer, &target, &mesh, false, warp.data(), nullptr));
    size_t differing = 0;
    for (size_t i = 0; i < bgr.size(); ++i)
        differing += std::abs(int(bgr[i]) - int(warp[i])) > 8;
    EXPECT_LT(differing, bgr.size() / 100) << "edges may round differently";
    releaseVertexBuffer(&mesh);
    releaseOffscreenTarget(&target);
    releaseRenderer(&renderer);
}
