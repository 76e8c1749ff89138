// The 3D view: a child window of class "STLView" that owns a ViewState, draws the current
// mesh with Direct3D 11 (or a placeholder while there is no GPU or no mesh) and turns mouse
// drags and wheel turns into camera moves. The window's own messages run on the thread
// that owns it; load jobs reach its GPU objects through retainViewState and gpuLock.
#pragma once

#include <windows.h>

#include "render/camera.h"
#include "render/renderer_win.h"

extern const wchar_t kViewClassName[];  // "STLView"

// Notifications the view sends its parent in WM_COMMAND (its control id in the low word of
// wParam, one of these in the high word, its window in lParam): the Left and Right keys, and
// a lost GPU (posted, from whichever thread found it lost).
enum : u16 { kViewStepBackward = 1, kViewStepForward = 2, kViewGpuLost = 3 };

// Wine does not show what a swap chain presents to a child window (it renders child windows
// off screen, and at times covers the window with that surface); there the swap chain
// presents to a hidden window of the view's size, and each frame is read back and set into
// the view through GDI.
struct GdiCopy {
    bool enabled;
    HWND presentWindow;           // the swap chain's window: the view's own, or the hidden one
    ID3D11Texture2D* resolved;    // the back buffer resolved to one sample
    ID3D11Texture2D* staging;     // read by the CPU
    u8* pixels;                   // blue, green, red, unused: the DIB that GDI takes
    u64 pixelCount;
};

struct ViewState {
    HWND window;
    u32 width;  // the client area, from the last WM_SIZE that was not a minimise
    u32 height;
    Camera camera;
    // A drag in progress: which button, and where the pointer was last.
    bool rotating;
    bool panning;
    i32 lastMouse[2];
    // Set by the main window.
    bool flipZoom;
    bool wireframe;
    bool showOpenEdges;
    bool yUp;
    const f32* background;  // the frame's clear colour (linear), or null for the workspace colour
    const ReportSink* sink;
    // Read and written on the window's thread only; workers never touch it.
    GpuMesh* mesh;

    // The GPU objects, made by ensureGpu from any thread under gpuLock, or the renderer of a
    // device the process shares (adoptRenderer): then its immediate context is used under
    // contextLock too, which the window's thread only tries, as it does gpuLock.
    Renderer renderer;
    SRWLOCK* contextLock;
    SwapChainTarget target;
    GdiCopy gdi;
    volatile u32 gpuLock;
    // A paint or resize found gpuLock held by a worker; a short timer tries again.
    bool retryPending;
    bool resizePending;
    // The window and every load job that may still create GPU objects for it hold a
    // reference; the last one releases the GPU objects and frees the record, so a window
    // destroyed during a load never pulls them from under a worker.
    volatile u32 references;
};

// Registers the class in the calling module. False when registration fails.
bool registerViewClass(HINSTANCE instance);

LRESULT CALLBACK viewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The view's state (its window user data), or null before WM_CREATE and after WM_NCDESTROY.
ViewState* viewStateOf(HWND viewWindow);

// A view's state that stays valid until releaseViewState, or null when the window has none
// (not created yet, or destroyed). Safe from any thread.
ViewState* retainViewState(HWND viewWindow);
void releaseViewState(ViewState* state);

// Shows `mesh` (the pan resets; direction and zoom stay) and invalidates the view.
void handOverMesh(HWND viewWindow, GpuMesh* mesh);
// Lets go of the current mesh, releasing its vertex buffer, before its heap is destroyed.
void detachMesh(HWND viewWindow);
