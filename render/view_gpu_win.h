// The view's GPU objects: made on first need from any thread (a load job makes them ready
// while it parses), drawn with and resized on the window's thread, and released in one
// place when the GPU is lost.
#pragma once

#include "render/view_window_win.h"

// True at once when the device exists; otherwise creates the renderer and the swap chain
// of the view's window, reporting failures to `sink` (may be null). Safe from any thread
// and from several at once: the second caller waits for the first's outcome.
bool ensureGpu(ViewState* state, const ReportSink* sink);
// The same on a device the process shares: the view takes references to `shared` and
// `contextLock`, and makes its swap chain. True at once when the view has a device.
bool adoptRenderer(ViewState* state, const Renderer* shared, SRWLOCK* contextLock, const ReportSink* sink);

// The one answer to a lost GPU, wherever it shows (a failed present, a refused resize, a
// device gone from under a load): `reason` is reported to `sink` unless it is a success
// (the failure was reported where it happened), and every GPU object of the view is
// released; the view paints its placeholder until the next load makes the GPU ready again.
// Called under gpuLock, or by the view's last owner.
void onGpuLost(ViewState* state, HRESULT reason, const ReportSink* sink);

// On the window's thread: paintFrame draws with a device and a mesh, under gpuLock;
// resizeTarget follows a new client size, and answers false when gpuLock was busy so that
// the caller tries again later (0 in either size changes nothing).
void paintFrame(ViewState* state);
bool resizeTarget(ViewState* state, i32 width, i32 height);
// Every GPU object of the view, as after the loss of the GPU. Under gpuLock or by the last owner.
void releaseGpu(ViewState* state);
