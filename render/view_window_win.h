// The 3D view: a child window of class "STLView" that owns a ViewState, draws the current
// mesh with Direct3D 11 (or a placeholder while there is no GPU or no mesh) and turns mouse
// drags and wheel turns into camera changes. Everything here runs on the thread that owns
// the window; only gpuLock is shared with load jobs.
#pragma once

#include <windows.h>

#include "render/renderer_win.h"

extern const wchar_t kViewClassName[];  // "STLView"

// Registers the class in the calling module. False when registration fails.
bool registerViewClass(HINSTANCE instance);

LRESULT CALLBACK viewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The view's state (its window user data), or null before WM_CREATE and after WM_NCDESTROY.
ViewState* viewStateOf(HWND view);

// Shows `mesh` (the pan resets; direction and zoom stay) and invalidates the view.
void handOverMesh(HWND view, GpuMesh* mesh);
// Lets go of the current mesh, releasing its vertex buffer, before its heap is destroyed.
void detachMesh(HWND view);

// Navigation, exposed for tests: a mouse move at client (x, y) and a wheel message's wParam.
void mouseMoved(ViewState* view, i32 x, i32 y);
void wheelZoom(ViewState* view, WPARAM wParam);
