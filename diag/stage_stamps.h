// Stage stamps: points on the road from the process's entry to the first frame of a file,
// recorded only by the viewer's benchmark build (compiled with VANTOREL_STAGE_STAMPS, see
// bench/stage_stamps_win.cpp). In the product every call compiles to nothing.
#pragma once

#include "diag/base.h"

enum StageStamp : u32 {
    kStampEntry,             // the entry point, before anything else
    kStampWindowReady,       // the main window exists and has its size
    kStampLoadBegins,        // the load job starts on its worker thread
    kStampParsed,            // mapped, detected and parsed
    kStampDeviceReady,       // the Direct3D device exists for the upload (after the vertices)
    kStampVerticesWritten,   // the vertex array and its box are written (before the device is waited for)
    kStampUploaded,          // the vertex buffer is made
    kStampFramePresented,    // a frame with a mesh was presented
    kStampCount,
};

#ifdef VANTOREL_STAGE_STAMPS
// `window`: for kStampFramePresented, the 3D view that presented it.
void stampStage(StageStamp stage, void* window = nullptr);
#else
inline void stampStage(StageStamp, void* = nullptr) {}
#endif
