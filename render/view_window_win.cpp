#include "render/view_window_win.h"

#include "render/view_gpu_win.h"

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
void retryLater(ViewState* state) {
    if (!state->retryPending) {
        state->retryPending = true;
        SetTimer(state->window, kRetryTimer, kRetryMilliseconds, nullptr);
    }
}

LRESULT onCreate(HWND window, const CREATESTRUCTW* create) {
    ViewState* state = static_cast<ViewState*>(allocate(sizeof(ViewState)));
    if (!state)
        return -1;
    *state = ViewState{};
    state->window = window;
    state->camera = startCamera();
    state->gdi.presentWindow = window;
    state->gdi.enabled = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (state->gdi.enabled) {
        // Made here, on the view's own thread, so that it has a thread that answers it.
        state->gdi.presentWindow = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"STATIC", L"", WS_POPUP, 0, 0,
                                                   create->cx, create->cy, nullptr, nullptr, create->hInstance, nullptr);
        if (!state->gdi.presentWindow) {
            deallocate(state);
            return -1;
        }
    }
    state->references = 1;  // the window's own
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    return 0;
}

void onDestroy(ViewState* state) {
    KillTimer(state->window, kRetryTimer);
    if (state->mesh) {
        releaseVertexBuffer(state->mesh);
        state->mesh = nullptr;
    }
    // A worker still creating the GPU objects keeps the state alive; the last reference
    // releases them then.
    if (tryAcquireSpinLock(&state->gpuLock)) {
        releaseGpu(state);
        releaseSpinLock(&state->gpuLock);
    }
    if (state->gdi.presentWindow != state->window)
        DestroyWindow(state->gdi.presentWindow);
}

void onNcDestroy(HWND window, ViewState* state) {
    acquireSpinLock(&stateLinkLock);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    releaseSpinLock(&stateLinkLock);
    releaseViewState(state);
}

void onSize(ViewState* state, LPARAM lParam) {
    state->resizePending = !resizeTarget(state, i16(LOWORD(lParam)), i16(HIWORD(lParam)));
    if (state->resizePending)
        retryLater(state);
}

void onTimer(ViewState* state, WPARAM id) {
    if (id != kRetryTimer)
        return;
    KillTimer(state->window, kRetryTimer);
    state->retryPending = false;
    if (state->resizePending) {
        RECT client;
        GetClientRect(state->window, &client);
        onSize(state, MAKELPARAM(client.right, client.bottom));
    }
    InvalidateRect(state->window, nullptr, FALSE);
}

void paintPlaceholder(ViewState* state) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(state->window, &paint);
    FillRect(dc, &paint.rcPaint, GetSysColorBrush(COLOR_APPWORKSPACE));
    DrawIcon(dc, i32(state->width / 2), i32(state->height / 2), LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_ERROR)));
    EndPaint(state->window, &paint);
}

// A mesh uploaded to a device that has since been lost is not drawn with the device a later
// load made ready: its buffer belongs to the old one until the next mesh replaces it.
bool meshOnDevice(const GpuMesh* mesh, ID3D11Device* device) {
    if (!mesh->vertexBuffer)
        return true;
    ID3D11Device* owner = nullptr;
    mesh->vertexBuffer->GetDevice(&owner);
    if (owner)
        owner->Release();
    return owner == device;
}

void onPaint(ViewState* state) {
    if (!tryAcquireSpinLock(&state->gpuLock)) {
        ValidateRect(state->window, nullptr);
        retryLater(state);
        return;
    }
    if (state->renderer.device && state->mesh && state->target.renderTargetView &&
        meshOnDevice(state->mesh, state->renderer.device)) {
        if (state->contextLock && !TryAcquireSRWLockExclusive(state->contextLock)) {
            releaseSpinLock(&state->gpuLock);
            ValidateRect(state->window, nullptr);
            retryLater(state);
            return;
        }
        paintFrame(state);
        // A shared context keeps nothing of this view bound: its swap chain may go while
        // another owner draws.
        if (state->contextLock && state->renderer.context)
            state->renderer.context->ClearState();
        if (state->contextLock)
            ReleaseSRWLockExclusive(state->contextLock);
        releaseSpinLock(&state->gpuLock);
        ValidateRect(state->window, nullptr);
        return;
    }
    releaseSpinLock(&state->gpuLock);
    paintPlaceholder(state);
}

void startDrag(ViewState* state, bool* flag, LPARAM lParam) {
    SetCapture(state->window);
    *flag = true;
    state->lastMouse[0] = i16(LOWORD(lParam));
    state->lastMouse[1] = i16(HIWORD(lParam));
}

void endDrag(bool* flag) {
    ReleaseCapture();
    *flag = false;
}

// Left and Right step through the folder: the parent is told, as a control tells it of a
// click. The dialog manager passes the arrow keys on (DLGC_WANTARROWS) and keeps Tab,
// Escape and the rest for itself.
void onKeyDown(ViewState* state, WPARAM key) {
    if (key != VK_LEFT && key != VK_RIGHT)
        return;
    u16 notification = key == VK_LEFT ? kViewStepBackward : kViewStepForward;
    SendMessageW(GetParent(state->window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(state->window), notification),
                 reinterpret_cast<LPARAM>(state->window));
}

void onMouseMove(ViewState* state, i32 x, i32 y) {
    i32 dx = x - state->lastMouse[0];
    i32 dy = y - state->lastMouse[1];
    if (state->rotating) {
        turnCamera(&state->camera, dx, dy);
        InvalidateRect(state->window, nullptr, FALSE);
    } else if (state->panning) {
        panCamera(&state->camera, dx, dy);
        InvalidateRect(state->window, nullptr, FALSE);
    }
    state->lastMouse[0] = x;
    state->lastMouse[1] = y;
}

void onMouseWheel(ViewState* state, WPARAM wParam) {
    zoomCamera(&state->camera, i16(HIWORD(wParam)), state->flipZoom);
    InvalidateRect(state->window, nullptr, FALSE);
}

}  // namespace

bool registerViewClass(HINSTANCE instance) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = viewWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kViewClassName;
    return RegisterClassW(&windowClass) != 0;
}

ViewState* viewStateOf(HWND viewWindow) {
    return reinterpret_cast<ViewState*>(GetWindowLongPtrW(viewWindow, GWLP_USERDATA));
}

ViewState* retainViewState(HWND viewWindow) {
    acquireSpinLock(&stateLinkLock);
    ViewState* state = IsWindow(viewWindow) ? viewStateOf(viewWindow) : nullptr;
    if (state)
        __atomic_add_fetch(&state->references, 1u, __ATOMIC_RELAXED);
    releaseSpinLock(&stateLinkLock);
    return state;
}

void releaseViewState(ViewState* state) {
    if (__atomic_sub_fetch(&state->references, 1u, __ATOMIC_ACQ_REL) != 0)
        return;
    releaseGpu(state);
    if (state->gdi.pixels)
        deallocate(state->gdi.pixels);
    deallocate(state);
}

void handOverMesh(HWND viewWindow, GpuMesh* mesh) {
    ViewState* state = viewStateOf(viewWindow);
    state->mesh = mesh;
    frameMesh(&state->camera, mesh->size);
    InvalidateRect(viewWindow, nullptr, FALSE);
}

void detachMesh(HWND viewWindow) {
    ViewState* state = viewStateOf(viewWindow);
    if (state->mesh) {
        releaseVertexBuffer(state->mesh);
        state->mesh = nullptr;
    }
}

LRESULT CALLBACK viewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE)
        return onCreate(window, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    ViewState* state = viewStateOf(window);
    if (!state)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        onDestroy(state);
        break;
    case WM_NCDESTROY:
        onNcDestroy(window, state);
        break;
    case WM_SIZE:
        onSize(state, lParam);
        break;
    case WM_TIMER:
        onTimer(state, wParam);
        return 0;
    case WM_PAINT:
        onPaint(state);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        SetCursor(state->rotating || state->panning ? nullptr : LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        return 1;
    case WM_MOUSEACTIVATE:
        SendMessageW(GetParent(window), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window), TRUE);
        return MA_ACTIVATE;
    case WM_KILLFOCUS:
        if (state->rotating || state->panning) {
            ReleaseCapture();
            state->rotating = state->panning = false;
        }
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_KEYDOWN:
        onKeyDown(state, wParam);
        return 0;
    case WM_KEYUP:
        return 0;
    case WM_LBUTTONDOWN:
        startDrag(state, &state->rotating, lParam);
        return 0;
    case WM_LBUTTONUP:
        endDrag(&state->rotating);
        return 0;
    case WM_RBUTTONDOWN:
        startDrag(state, &state->panning, lParam);
        return 0;
    case WM_RBUTTONUP:
        endDrag(&state->panning);
        return 0;
    case WM_MOUSEMOVE:
        onMouseMove(state, i16(LOWORD(lParam)), i16(HIWORD(lParam)));
        break;
    case WM_MOUSEWHEEL:
        onMouseWheel(state, wParam);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
