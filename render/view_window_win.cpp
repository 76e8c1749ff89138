#include "render/view_window_win.h"

#include "render/frame_win.h"

const wchar_t kViewClassName[] = L"STLView";

namespace {

// A paint or resize that found gpuLock taken tries again after this long.
enum : UINT_PTR { kRetryTimer = 1 };
enum : UINT { kRetryMilliseconds = 15 };

// Guards the step from a window handle to a counted reference of its state against the
// window's last message freeing it. Held for a handful of instructions, never across a call
// that needs another thread.
volatile u32 stateLinkLock;

// Why the user-interface thread never waits for gpuLock: a worker creating the device or the
// swap chain holds it, and swap chain creation may send messages to this window, which only
// this thread can answer. A paint or resize that finds the lock taken is put off to a short
// timer instead, so it is neither blocked nor lost.
void retryLater(ViewState* view) {
    if (!view->retryPending) {
        view->retryPending = true;
        SetTimer(view->window, kRetryTimer, kRetryMilliseconds, nullptr);
    }
}

LRESULT onCreate(HWND window, const CREATESTRUCTW* create) {
    ViewState* view = static_cast<ViewState*>(allocate(sizeof(ViewState)));
    if (!view)
        return -1;
    initViewState(view, window);
    if (view->copiesThroughGdi) {
        // Made here, on the view's own thread, so that it has a thread that answers it.
        view->presentWindow = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"STATIC", L"", WS_POPUP, 0, 0,
                                              create->cx, create->cy, nullptr, nullptr, create->hInstance, nullptr);
        if (!view->presentWindow) {
            deallocate(view);
            return -1;
        }
    }
    view->references = 1;  // the window's own
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
    return 0;
}

void onDestroy(ViewState* view) {
    KillTimer(view->window, kRetryTimer);
    if (view->mesh) {
        releaseVertexBuffer(view->mesh);
        view->mesh = nullptr;
    }
    // A worker still creating the GPU objects keeps the state alive; the last reference
    // releases them then.
    if (tryAcquireSpinLock(&view->gpuLock)) {
        releaseGpu(view);
        releaseSpinLock(&view->gpuLock);
    }
    if (view->presentWindow != view->window)
        DestroyWindow(view->presentWindow);
}

void onNcDestroy(HWND window, ViewState* view) {
    acquireSpinLock(&stateLinkLock);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    releaseSpinLock(&stateLinkLock);
    releaseViewState(view);
}

void onSize(ViewState* view, LPARAM lParam) {
    view->resizePending = !resizeTarget(view, i16(LOWORD(lParam)), i16(HIWORD(lParam)));
    if (view->resizePending)
        retryLater(view);
}

void onTimer(ViewState* view, WPARAM id) {
    if (id != kRetryTimer)
        return;
    KillTimer(view->window, kRetryTimer);
    view->retryPending = false;
    if (view->resizePending) {
        RECT client;
        GetClientRect(view->window, &client);
        onSize(view, MAKELPARAM(client.right, client.bottom));
    }
    InvalidateRect(view->window, nullptr, FALSE);
}

void paintPlaceholder(ViewState* view) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(view->window, &paint);
    FillRect(dc, &paint.rcPaint, GetSysColorBrush(COLOR_APPWORKSPACE));
    DrawIcon(dc, i32(view->width / 2), i32(view->height / 2), LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_ERROR)));
    EndPaint(view->window, &paint);
}

void onPaint(ViewState* view) {
    if (!tryAcquireSpinLock(&view->gpuLock)) {
        ValidateRect(view->window, nullptr);
        retryLater(view);
        return;
    }
    if (view->renderer.device && view->mesh && view->target.renderTargetView) {
        paintFrame(view);
        releaseSpinLock(&view->gpuLock);
        ValidateRect(view->window, nullptr);
        return;
    }
    releaseSpinLock(&view->gpuLock);
    paintPlaceholder(view);
}

void startDrag(ViewState* view, bool* flag, LPARAM lParam) {
    SetCapture(view->window);
    *flag = true;
    view->lastMouse[0] = i16(LOWORD(lParam));
    view->lastMouse[1] = i16(HIWORD(lParam));
}

void endDrag(bool* flag) {
    ReleaseCapture();
    *flag = false;
}

// The dialog manager asks which keys the view wants. The main window answers 0 for the keys
// it handles itself (the arrows step through the folder): those the view swallows; the rest
// (Tab, Escape, ...) go to the dialog manager as usual.
LRESULT onGetDlgCode(HWND window, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (!message)
        return DLGC_WANTALLKEYS;
    LRESULT answer = SendMessageW(GetParent(window), message->message, message->wParam, message->lParam);
    return answer == 0 ? DLGC_WANTALLKEYS : 0;
}

// Angles in TurnAngle units wrap modulo 2^32; a long conversion keeps large products exact
// before the wrap.
TurnAngle turnUnits(f32 radians) {
    return TurnAngle(u64(_mm_cvtss_si64(_mm_set_ss(radians * 683565248.0f))));
}

}  // namespace

bool registerViewClass(HINSTANCE instance) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = viewWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kViewClassName;
    return RegisterClassW(&windowClass) != 0;
}

ViewState* viewStateOf(HWND view) {
    return reinterpret_cast<ViewState*>(GetWindowLongPtrW(view, GWLP_USERDATA));
}

ViewState* retainViewState(HWND window) {
    acquireSpinLock(&stateLinkLock);
    ViewState* view = IsWindow(window) ? viewStateOf(window) : nullptr;
    if (view)
        __atomic_add_fetch(&view->references, 1u, __ATOMIC_RELAXED);
    releaseSpinLock(&stateLinkLock);
    return view;
}

void releaseViewState(ViewState* view) {
    if (__atomic_sub_fetch(&view->references, 1u, __ATOMIC_ACQ_REL) != 0)
        return;
    releaseGpu(view);
    if (view->gdiPixels)
        deallocate(view->gdiPixels);
    deallocate(view);
}

void handOverMesh(HWND window, GpuMesh* mesh) {
    ViewState* view = viewStateOf(window);
    // The mesh pointer is read and written on this thread only; workers never touch it.
    view->mesh = mesh;
    view->pan[0] = view->pan[1] = view->pan[2] = 0.0f;
    view->radius = meshRadius(mesh);
    InvalidateRect(window, nullptr, FALSE);
}

void detachMesh(HWND window) {
    ViewState* view = viewStateOf(window);
    if (view->mesh) {
        releaseVertexBuffer(view->mesh);
        view->mesh = nullptr;
    }
}

void mouseMoved(ViewState* view, i32 x, i32 y) {
    i32 dx = x - view->lastMouse[0];
    i32 dy = y - view->lastMouse[1];
    if (view->rotating) {
        f32 k = -0.04f / view->zoom;  // radians per pixel
        view->yaw += turnUnits(k * f32(dx));
        view->pitch += turnUnits(k * f32(dy));
        updateRotation(view);
        InvalidateRect(view->window, nullptr, FALSE);
    } else if (view->panning) {
        // Metres per pixel; columns 0 and 1 of the rotation are the camera's right and up axes,
        // so the model follows the pointer.
        f32 k = view->radius * -0.0135f / view->zoom;
        const f32* m = view->rotation.m;
        for (int i = 0; i < 3; ++i)
            view->pan[i] += k * f32(dx) * m[3 * i] + k * f32(-dy) * m[3 * i + 1];
        InvalidateRect(view->window, nullptr, FALSE);
    }
    view->lastMouse[0] = x;
    view->lastMouse[1] = y;
}

void wheelZoom(ViewState* view, WPARAM wParam) {
    f32 delta = f32(i16(HIWORD(wParam)));
    f32 d = view->flipZoom ? delta : -delta;
    f32 zoom = (1.0f - d / 1920.0f) * view->zoom;
    view->zoom = zoom < 2.0f ? 2.0f : zoom > 64.0f ? 64.0f : zoom;
}

LRESULT CALLBACK viewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE)
        return onCreate(window, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    ViewState* view = viewStateOf(window);
    if (!view)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        onDestroy(view);
        break;
    case WM_NCDESTROY:
        onNcDestroy(window, view);
        break;
    case WM_SIZE:
        onSize(view, lParam);
        break;
    case WM_TIMER:
        onTimer(view, wParam);
        return 0;
    case WM_PAINT:
        onPaint(view);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        SetCursor(view->rotating || view->panning ? nullptr : LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        return 1;
    case WM_MOUSEACTIVATE:
        SendMessageW(GetParent(window), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window), TRUE);
        return MA_ACTIVATE;
    case WM_KILLFOCUS:
        if (view->rotating || view->panning) {
            ReleaseCapture();
            view->rotating = view->panning = false;
        }
        break;
    case WM_GETDLGCODE:
        return onGetDlgCode(window, lParam);
    case WM_KEYDOWN:
    case WM_KEYUP:
        return 0;
    case WM_LBUTTONDOWN:
        startDrag(view, &view->rotating, lParam);
        return 0;
    case WM_LBUTTONUP:
        endDrag(&view->rotating);
        return 0;
    case WM_RBUTTONDOWN:
        startDrag(view, &view->panning, lParam);
        return 0;
    case WM_RBUTTONUP:
        endDrag(&view->panning);
        return 0;
    case WM_MOUSEMOVE:
        mouseMoved(view, i16(LOWORD(lParam)), i16(HIWORD(lParam)));
        break;
    case WM_MOUSEWHEEL:
        wheelZoom(view, wParam);
        InvalidateRect(window, nullptr, FALSE);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
