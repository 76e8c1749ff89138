// The view's end of a load job: the view's device made ready while the file is parsed, and
// the load's vertices uploaded once the road has made them, both on the job's thread.
#pragma once

#include <windows.h>

#include "render/mesh.h"
#include "stl/load_job.h"

// A job for `path` whose load ends in the 3D view `viewWindow` (its user data is the
// view's ViewState), completed to `mainWindow`. Null as createLoadJob.
LoadJob* createViewLoadJob(const wchar_t* path, HWND viewWindow, HWND mainWindow, const ReportSink* sink);

// A finished load's vertices uploaded to the view's device, which `ready` says was made
// ready: a GpuMesh in the load's heap, or null (reported). Takes over the caller's reference
// to `state`. Safe from any thread.
struct ViewState;
GpuMesh* uploadToViewDevice(ViewState* state, bool ready, LoadedFile* file, const ReportSink* sink);

// The uploaded mesh of a finished view job (in its load's heap), or null.
inline GpuMesh* jobMesh(const LoadJob* job) {
    return static_cast<GpuMesh*>(job->upload);
}
