// The "STLView" window on a parent of the test: its device made once, frames read back from
// its render target, navigation by real window messages, and the GPU failing under it.
#include <cmath>
#include <thread>

#include "render/view_gpu_win.h"
#include "support/view_harness_win.h"

// Two threads at once make the view's device, which reports its feature level once; a later
// call keeps it and reports nothing. A mesh too large for one buffer is refused.
TEST(Gpu, OneDeviceForConcurrentCallersAndAHugeMeshIsRefused) {
    ViewHarness harness;
    ViewState* state = harness.state();
    TranslatingSink first, second;
    bool results[2] = {};
    std::thread a([&] { results[0] = ensureGpu(state, &first.sink); });
    std::thread b([&] { results[1] = ensureGpu(state, &second.sink); });
    a.join();
    b.join();
    EXPECT_TRUE(results[0] && results[1]);
    ID3D11Device* device = state->renderer.device;
    EXPECT_TRUE(ensureGpu(state, &first.sink));
    EXPECT_EQ(state->renderer.device, device);
    std::vector<std::u16string> lines = first.recorder.lines(), more = second.recorder.lines();
    lines.insert(lines.end(), more.begin(), more.end());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(u"D3D info: GPU supports Direct3D ", 0), 0u);

    // 153,391,692 vertices do not fit one buffer's 32-bit byte width: refused before anything
    // is allocated for them.
    StlSolid solid = {0, 0, 51130564, nullptr, {nullptr, 0, 0}};
    LoadResult result = {kFormatBinary, {nullptr, &solid, 1}, {}};
    EXPECT_FALSE(fitsOneVertexBuffer(&result, &harness.sink.sink));
    EXPECT_EQ(harness.sink.recorder.lines(), std::vector<std::u16string>{u"out of GPU memory"});
}

namespace {

bool isModel(u32 rgb) {
    return rgb != workspaceColour();
}

// Red (shift 16) or blue (shift 0) well above the other two channels.
template <int shift>
bool dominant(u32 rgb) {
    int c = rgb >> shift & 0xFF, d = rgb >> (shift + 8) % 24 & 0xFF, e = rgb >> (shift + 16) % 24 & 0xFF;
    return c > 2 * d + 20 && c > 2 * e + 20;
}

}  // namespace

// A post 10 x 10 x 40 along the file's Z, then its Y axis, blue at its foot and red at its
// top, stands when read with that axis up, framed whole: the border is all background.
TEST(ViewFrame, UpAxisFramingHiddenAndBackFacingSolids) {
    SKIP_WITHOUT_VISIBLE_DESKTOP();
    ViewHarness harness;
    for (int axis : {2, 1}) {
        f32 lo[3] = {0, 0, 0}, hi[3] = {10, 10, 10};
        std::vector<BinaryTriangle> triangles = box(lo, hi, 0x7C00), top;  // blue, RGB order
        lo[axis] = 30;
        hi[axis] = 40;
        top = box(lo, hi, 0x001F);  // red
        triangles.insert(triangles.end(), top.begin(), top.end());
        std::wstring path = harness.files.write(L"post" + std::to_wstring(axis) + L".stl",
                                                BinaryStlBuilder("COLOR=\x80\x40\x20\xff,MATERIAL=\x80\x80\x80\xff").block(triangles).bytes());
        ASSERT_EQ(harness.show(path, axis == 1)->status, kJobLoaded);
        Pixels frame = harness.frame();
        double redY, blueY;
        ASSERT_GT(frame.count(dominant<16>, &redY), 200u) << axis;
        ASSERT_GT(frame.count(dominant<0>, &blueY), 200u) << axis;
        EXPECT_LT(redY, blueY - 40) << "the top is above the foot, axis " << axis;
        u32 border = 0, last = frame.width - 1;
        for (u32 i = 0; i <= last; ++i)
            border += isModel(frame.at(i, 0)) + isModel(frame.at(i, last)) + isModel(frame.at(0, i)) +
                      isModel(frame.at(last, i));
        EXPECT_EQ(border, 0u) << axis;
    }

    // Hidden solids are not drawn.
    LoadJob* two = harness.show(fixture(L"two_solids.stl"));
    ASSERT_EQ(two->status, kJobLoaded);
    u32 both = harness.frame().count(isModel);
    two->file.solidVisible[1] = 0;
    u32 left = harness.frame().count(isModel);
    EXPECT_GT(left, 100u);
    EXPECT_LT(left, both);
    two->file.solidVisible[0] = 0;
    EXPECT_EQ(harness.frame().count(isModel), 0u);

    // A triangle facing down, seen from above: culled when shaded, its edges drawn in wireframe.
    std::vector<u8> down = BinaryStlBuilder().block({BinaryTriangle({0, 0, 0, 10, 0, 0, 0, 0, 10})}).bytes();
    harness.show(harness.files.write(L"facing_down.stl", down), true);
    EXPECT_EQ(harness.frame().count(isModel), 0u);
    harness.state()->wireframe = true;
    EXPECT_GT(harness.frame().count(isModel), 50u);
}

// The view's messages move its camera as the camera's own functions do (their arithmetic is
// the camera tests'); the pointer hides during a drag, which ends with the focus; Left and
// Right each tell the parent once, other keys nothing.
TEST(ViewNavigation, MessagesMoveTheCameraAndKeysTellTheParent) {
    ViewHarness harness;
    ViewState* v = harness.state();
    v->camera.radius = 0.1f;
    const struct { UINT down, up; int dx, dy; void (*move)(Camera*, i32, i32); } drags[] = {
        {WM_LBUTTONDOWN, WM_LBUTTONUP, 100, -30, turnCamera}, {WM_RBUTTONDOWN, WM_RBUTTONUP, 20, 7, panCamera}};
    for (const auto& drag : drags) {
        Camera expected = v->camera;
        drag.move(&expected, drag.dx, drag.dy);
        SendMessageW(harness.view, drag.down, 0, MAKELPARAM(100, 100));
        SendMessageW(harness.view, WM_MOUSEMOVE, 0, MAKELPARAM(100 + drag.dx, 100 + drag.dy));
        SendMessageW(harness.view, drag.up, 0, MAKELPARAM(100 + drag.dx, 100 + drag.dy));
        EXPECT_EQ(memcmp(&v->camera, &expected, sizeof expected), 0) << drag.down;
    }
    for (bool flip : {false, true}) {
        Camera expected = v->camera;
        zoomCamera(&expected, 120, flip);
        v->flipZoom = flip;
        SendMessageW(harness.view, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
        EXPECT_EQ(v->camera.zoom, expected.zoom) << flip;
    }

    SendMessageW(harness.view, WM_LBUTTONDOWN, 0, MAKELPARAM(10, 10));
    SendMessageW(harness.view, WM_SETCURSOR, WPARAM(harness.view), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), nullptr);
    EXPECT_EQ(GetCapture(), harness.view);
    SendMessageW(harness.view, WM_KILLFOCUS, 0, 0);
    EXPECT_FALSE(v->rotating);
    EXPECT_NE(GetCapture(), harness.view);
    SendMessageW(harness.view, WM_SETCURSOR, WPARAM(harness.view), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), nullptr);

    EXPECT_EQ(SendMessageW(harness.view, WM_GETDLGCODE, VK_RIGHT, 0), LRESULT(DLGC_WANTARROWS));
    for (WPARAM key : {WPARAM(VK_RIGHT), WPARAM(VK_UP), WPARAM('A'), WPARAM(VK_LEFT)}) {
        SendMessageW(harness.view, WM_KEYDOWN, key, 1);
        SendMessageW(harness.view, WM_KEYUP, key, 0xC0000001);
    }
    const u16 id = u16(GetDlgCtrlID(harness.view));
    EXPECT_EQ(harness.commands, (std::vector<WPARAM>{MAKEWPARAM(id, kViewStepForward), MAKEWPARAM(id, kViewStepBackward)}));
}

namespace {

// Fails the view's swap chain's Present or ResizeBuffers (its 9th and 14th methods) with
// `fault`, as a lost GPU or a driver that refuses a resize would: the swap chain is given a
// copy of its table of methods with that entry replaced.
HRESULT injectedFault;
void* faultyMethods[18];
HRESULT STDMETHODCALLTYPE failPresent(IDXGISwapChain*, UINT, UINT) { return injectedFault; }
HRESULT STDMETHODCALLTYPE failResize(IDXGISwapChain*, UINT, UINT, UINT, DXGI_FORMAT, UINT) { return injectedFault; }

void injectFault(ViewState* v, int method, void* replacement, HRESULT fault) {
    void*** swapChain = reinterpret_cast<void***>(v->target.swapChain);
    std::copy(*swapChain, *swapChain + 18, faultyMethods);
    faultyMethods[method] = replacement;
    *swapChain = faultyMethods;
    injectedFault = fault;
}

}  // namespace

// A worker that holds gpuLock (creating the device) neither blocks the window's thread nor
// loses its paint and resize: both are done once the lock is free. Minimising keeps the
// size and the swap chain.
TEST(ViewFaults, BusyLockAndMinimise) {
    SKIP_WITHOUT_VISIBLE_DESKTOP();
    ViewHarness harness;
    ViewState* v = harness.state();
    ASSERT_EQ(harness.show(fixture(L"cube_binary.stl"))->status, kJobLoaded);
    acquireSpinLock(&v->gpuLock);
    SetWindowPos(harness.view, nullptr, 0, 0, 200, 150, SWP_NOZORDER | SWP_NOMOVE);
    harness.paint();
    EXPECT_EQ(v->width, 256u);
    EXPECT_TRUE(v->retryPending);
    releaseSpinLock(&v->gpuLock);
    EXPECT_TRUE(waitFor([&] { return v->width == 200 && !v->retryPending && !GetUpdateRect(harness.view, nullptr, FALSE); }, 2000));
    EXPECT_GT(harness.frame().count(isModel), 1000u);
    IDXGISwapChain* swapChain = v->target.swapChain;
    ASSERT_NE(swapChain, nullptr);
    SendMessageW(harness.view, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(v->width, 200u);
    EXPECT_EQ(v->target.swapChain, swapChain);
}

// A lost GPU at presentation and a refused resize: each reported once and told to the
// parent (which loads its file again), every GPU object released, the placeholder shown (even once a later load made a new device ready before
// its mesh arrived: the old mesh's buffer belongs to the lost device), and the next load
// draws again.
TEST(ViewFaults, LostGpuAndRefusedResize) {
    SKIP_WITHOUT_VISIBLE_DESKTOP();
    ViewHarness harness;
    ViewState* v = harness.state();
    const std::wstring cube = fixture(L"cube_binary.stl");
    const std::u16string lost = u"Direct3D 11 error: lost GPU (may be overload or driver problems)";
    const struct {
        const char* name;
        int method;  // in the swap chain's table
        void* replacement;
        HRESULT fault;
        bool resize;  // the fault shows in a resize, else in a paint
        std::u16string line;
    } faults[] = {
        {"present, device removed", 8, reinterpret_cast<void*>(failPresent), DXGI_ERROR_DEVICE_REMOVED, false, lost},
        {"resize, invalid call", 13, reinterpret_cast<void*>(failResize), E_INVALIDARG, true,
         u"Direct3D 11 error: call, parameter, or state invalid"},
        {"resize, device removed", 13, reinterpret_cast<void*>(failResize), DXGI_ERROR_DEVICE_REMOVED, true, lost},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        ASSERT_EQ(harness.show(cube)->status, kJobLoaded);
        ASSERT_GT(harness.frame().count(isModel), 1000u);
        size_t reported = harness.sink.recorder.lines().size(), told = harness.commands.size();
        injectFault(v, fault.method, fault.replacement, fault.fault);
        u32 width = v->width == 160 ? 200 : 160;
        if (fault.resize)
            SetWindowPos(harness.view, nullptr, 0, 0, int(width), 120, SWP_NOZORDER | SWP_NOMOVE);
        else
            harness.paint();
        std::vector<std::u16string> lines = harness.sink.recorder.lines();
        ASSERT_EQ(lines.size(), reported + 1);
        EXPECT_EQ(lines.back(), fault.line);
        EXPECT_TRUE(waitFor([&] { return harness.commands.size() == told + 1; }, 2000));
        EXPECT_EQ(harness.commands.back(), MAKEWPARAM(0, kViewGpuLost));
        EXPECT_EQ(v->renderer.device, nullptr);
        EXPECT_EQ(v->target.swapChain, nullptr);
        if (fault.resize)
            EXPECT_EQ(v->width, width);
        // The placeholder: the error icon's top-left corner at the centre, red there, and the
        // background above and left of it.
        Pixels placeholder = harness.frame();
        EXPECT_GT(placeholder.count(dominant<16>), 50u);
        for (u32 y = 0; y < placeholder.height / 2; ++y)
            EXPECT_EQ(placeholder.at(placeholder.width / 4, y), workspaceColour());
        ASSERT_TRUE(ensureGpu(v, nullptr));
        EXPECT_GT(harness.frame().count(dominant<16>), 50u);
    }
    ASSERT_EQ(harness.show(cube)->status, kJobLoaded);
    EXPECT_GT(harness.frame().count(isModel), 1000u);
}
