// The view's end of a load job: the view's device made ready while the file is parsed, and
// the load's vertices uploaded once the road has made them, both on the job's thread.
#pragma once

#include <windows.h>

#include "render/mesh.h"
#include "stl/load_job.h"

// A job for `path` whose load ends in the 3D view `viewWindow` (its user data is the
// view's ViewState), completed to `mainWindow`. Null as createLoadJob.
LoadJob* createViewLoadJob(const wchar_t* path, HWND viewWindow, HWND mainWindow, const ReportSink* sink);

// The uploaded mesh of a finished view job (in its load's heap), or null.
inline GpuMesh* jobMesh(const LoadJob* job) {
    return static_cast<GpuMesh*>(job->upload);
}
