// The preview handler as Explorer's preview pane meets it: made from the per-user
// registration, given a stream, a window and a rectangle, asked to preview; what it shows
// read back, turned and zoomed with the mouse, resized, unloaded, and the same object used
// again over the fixtures and the hostile inputs.
#include <windows.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <cstdlib>
#include <tuple>

#include "support/hostile_inputs.h"
#include "support/private_bytes_win.h"
#include "support/shell_host_win.h"
#include "support/view_harness_win.h"

namespace {

// The pane's site: the keystrokes the handler passes on end here.
class Frame : public IPreviewHandlerFrame {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        *out = id == IID_IUnknown || id == IID_IPreviewHandlerFrame ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(PREVIEWHANDLERFRAMEINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override {
        keys.push_back(message->wParam);
        return S_OK;
    }
    std::vector<WPARAM> keys;
};

IClassFactory* previewFactory = nullptr;

bool isBackground(u32 rgb, u32 background) {
    for (int shift : {0, 8, 16})
        if (std::abs(int(rgb >> shift & 0xFF) - int(background >> shift & 0xFF)) > 2)
            return false;
    return true;
}

class Previews : public testing::Test {
protected:
    static void SetUpTestSuite() {
        runRegsvr32(true);
        ASSERT_EQ(runRegsvr32(false), 0u);
        previewFactory = classObjectOf(kShellEx + L"{8895b1c6-b41f-4c1c-a562-0d564250836f}");
    }
    static void TearDownTestSuite() {
        if (previewFactory)
            previewFactory->Release();
        runRegsvr32(true);
    }
    void SetUp() override {
        ASSERT_NE(previewFactory, nullptr);
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        host = CreateWindowExW(0, L"STATIC", L"preview host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 480, 400,
                               nullptr, nullptr, nullptr, nullptr);
        ASSERT_EQ(previewFactory->CreateInstance(nullptr, IID_IPreviewHandler, reinterpret_cast<void**>(&handler)), S_OK);
        IObjectWithSite* site = nullptr;
        ASSERT_EQ(handler->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&site)), S_OK);
        site->SetSite(&frame);
        site->Release();
    }
    void TearDown() override {
        if (handler)
            handler->Release();
        DestroyWindow(host);
        CoUninitialize();
    }

    HWND pane() const { return FindWindowExW(host, nullptr, L"VantorelPreview", nullptr); }
    HWND view() const { return FindWindowExW(pane(), nullptr, L"STLView", nullptr); }
    std::wstring line() const {
        wchar_t text[1024] = {};
        GetWindowTextW(FindWindowExW(pane(), nullptr, L"Static", nullptr), text, 1024);
        return text;
    }
    // Initialize, SetWindow and DoPreview, then the line under the view once it is final:
    // the mesh check's, or the failure's.
    std::wstring preview(IStream* stream) {
        IInitializeWithStream* initialize = nullptr;
        handler->QueryInterface(IID_IInitializeWithStream, reinterpret_cast<void**>(&initialize));
        EXPECT_EQ(initialize->Initialize(stream, STGM_READ), S_OK);
        initialize->Release();
        RECT area = {0, 0, 480, 400};
        EXPECT_EQ(handler->SetWindow(host, &area), S_OK);
        EXPECT_EQ(handler->DoPreview(), S_OK);
        EXPECT_FALSE(IsWindowVisible(view())) << "the view waits for the load, not showing a failure's placeholder";
        EXPECT_TRUE(waitFor([&] {
            std::wstring text = line();
            return text.find(L"mesh: ") != text.npos ||
                   (!text.empty() && text.rfind(L"Binary STL", 0) && text.rfind(L"ASCII STL", 0));
        })) << "waited for the preview's last line";
        return line();
    }
    std::wstring previewFile(const wchar_t* name) {
        IStream* stream = nullptr;
        EXPECT_EQ(SHCreateStreamOnFileEx(fixture(name).c_str(), STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE, nullptr,
                                         &stream), S_OK);
        std::wstring text = preview(stream);
        stream->Release();
        return text;
    }
    // What the view shows, and the box of what is not its background: left, top, right, bottom.
    Pixels shown(std::vector<int>* box = nullptr) const {
        InvalidateRect(view(), nullptr, FALSE);
        UpdateWindow(view());
        Pixels pixels = windowPixels(view());
        std::vector<int> b = {int(pixels.width), int(pixels.height), 0, 0};
        for (u32 y = 0; y < pixels.height; ++y)
            for (u32 x = 0; x < pixels.width; ++x)
                if (!isBackground(pixels.at(x, y), pixels.at(0, 0)))
                    b = {std::min(b[0], int(x)), std::min(b[1], int(y)), std::max(b[2], int(x) + 1), std::max(b[3], int(y) + 1)};
        if (box)
            *box = b;
        return pixels;
    }

    HWND host = nullptr;
    IPreviewHandler* handler = nullptr;
    Frame frame;
};

}  // namespace

// A file past what a thumbnail reads whole shows its sample first, then the whole file: the
// line ends with the whole one's mesh check.
TEST_F(Previews, ALargeFileShowsItsSampleThenTheWhole) {
    FailingStream stream(torusFile(700, 200), ULONG(-1));
    std::wstring text = preview(&stream);
    EXPECT_NE(text.find(L"mesh: closed, 1 shell"), text.npos) << text;
    std::vector<int> box;
    shown(&box);
    EXPECT_GT(box[2] - box[0], 200) << "the torus across the view";
}

// Each fixture on one handler: its line, the model standing in its colours, the mouse, a
// new rectangle, the focus and Tab, Unload; the host's background colour in the view.
TEST_F(Previews, FixturesShowInThePaneAndFollowTheMouse) {
    SKIP_WITHOUT_VISIBLE_DESKTOP();
    IPreviewHandlerVisuals* visuals = nullptr;
    ASSERT_EQ(handler->QueryInterface(IID_IPreviewHandlerVisuals, reinterpret_cast<void**>(&visuals)), S_OK);
    EXPECT_EQ(visuals->SetBackgroundColor(RGB(0x20, 0x40, 0x80)), S_OK);
    visuals->Release();
    struct Case {
        const wchar_t* name;
        const wchar_t* line;  // how the line starts
        bool standing, reddish, bluish;
    } cases[] = {
        {L"box_z_up.stl", L"ASCII STL \u00B7 ", true, false, false},
        {L"coloured_bgr.stl", L"Binary STL \u00B7 ", false, true, true},
        {L"cube_ascii.stl", L"ASCII STL \u00B7 ", false, false, false},
        {L"broken.stl", L"STL error", false, false, false},
        {L"not_stl.txt", L"format: not STL", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        std::wstring text = previewFile(c.name);
        EXPECT_EQ(text.rfind(c.line, 0), 0u) << std::string(text.begin(), text.end());
        std::vector<int> box;
        Pixels pixels = shown(&box);
        bool loaded = text.find(L"mesh: ") != text.npos;
        if (loaded) {
            EXPECT_TRUE(isBackground(pixels.at(0, 0), 0x204080)) << "the host's background";
            ASSERT_GT(box[2] - box[0], 20);
            EXPECT_EQ(f32(box[3] - box[1]) / f32(box[2] - box[0]) > 1.3f, c.standing);
            auto tinted = [&](int shift) {
                return pixels.count([&](u32 p) {
                    return !isBackground(p, 0x204080) && int(p >> shift & 0xFF) > 2 * int(p >> (16 - shift) & 0xFF) + 40;
                });
            };
            EXPECT_EQ(tinted(16) > 50, c.reddish);
            EXPECT_EQ(tinted(0) > 50, c.bluish);
            // A drag turns the model, a wheel notch zooms it.
            for (auto [message, wParam, lParam] : {std::tuple{WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 150)},
                                                   {WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(260, 170)},
                                                   {WM_LBUTTONUP, 0, MAKELPARAM(260, 170)},
                                                   {WM_MOUSEWHEEL, MAKEWPARAM(0, 3 * WHEEL_DELTA), 0}}) {
                SendMessageW(view(), message, wParam, lParam);
                if (message == WM_MOUSEMOVE || message == WM_MOUSEWHEEL) {
                    Pixels after = shown();
                    EXPECT_NE(after.rgb, pixels.rgb) << "message " << message;
                    pixels = after;
                }
            }
        } else {
            EXPECT_EQ(pixels.at(0, 0), workspaceColour()) << "a failure shows the viewer's placeholder";
        }
        RECT smaller = {10, 10, 310, 210};
        EXPECT_EQ(handler->SetRect(&smaller), S_OK);
        RECT client;
        GetClientRect(view(), &client);
        EXPECT_EQ(client.right, 300);
        EXPECT_EQ(handler->DoPreview(), E_UNEXPECTED) << "a second DoPreview before Unload";
        EXPECT_EQ(handler->SetFocus(), S_OK);
        HWND focus = nullptr;
        EXPECT_EQ(handler->QueryFocus(&focus), S_OK);
        EXPECT_EQ(focus, view());
        MSG tab = {view(), WM_KEYDOWN, VK_TAB, 0};
        EXPECT_EQ(handler->TranslateAccelerator(&tab), S_OK);
        EXPECT_EQ(frame.keys.back(), WPARAM(VK_TAB)) << "Tab goes to the frame";
        EXPECT_EQ(handler->Unload(), S_OK);
        EXPECT_EQ(pane(), nullptr);
    }
}

// Every input that does not load shows a failure, never a fault; streams whose reads fail
// part way too. No preview keeps its stream once unloaded. 200 previews in one host leave
// its committed private memory where the first ones left it (Wine's handle count reads 0).
TEST_F(Previews, HostileInputsFailingReadsAndManyPreviews) {
    int loaded = 0, refused = 0;
    auto previewBytes = [&](const std::vector<u8>& bytes, ULONG failAt) {
        FailingStream stream(bytes, failAt);
        std::wstring text = preview(&stream);
        (text.find(L"mesh: ") != text.npos ? loaded : refused)++;
        EXPECT_EQ(handler->Unload(), S_OK);
        EXPECT_TRUE(waitFor([&] { return stream.references() == 1; })) << "waited for the load to let go of the stream";
    };
    ASSERT_TRUE(forEachHostileInput(VANTOREL_FIXTURES, 127, 2, [&](const std::vector<u8>& bytes) {
        previewBytes(bytes, ULONG(-1));
    }));
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
    std::vector<u8> cube = readWholeFile(std::string(VANTOREL_FIXTURES) + "/cube_binary.stl");
    for (ULONG failAt : {0ul, 84ul, ULONG(cube.size() - 1)}) {
        int before = refused;
        previewBytes(cube, failAt);
        EXPECT_EQ(refused, before + 1) << "reads failing after " << failAt << " bytes";
    }
    const wchar_t* names[] = {L"cube_binary.stl", L"fusion_y_up.stl", L"coloured_bgr.stl", L"broken.stl"};
    unsigned long long memoryBefore = 0;
    for (int i = 0; i < 220; ++i) {
        if (i == 20)
            memoryBefore = committedPrivateBytes(GetCurrentProcess());
        previewFile(names[i % 4]);
        handler->Unload();
    }
    unsigned long long memoryAfter = committedPrivateBytes(GetCurrentProcess());
    EXPECT_LT(memoryAfter, memoryBefore + (4ull << 20)) << memoryBefore << " then " << memoryAfter;
}
