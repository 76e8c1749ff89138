// The Windows side of a load job: the thread pool and the completion message.
#include <windows.h>

#include "stl/load_job.h"

bool queueLoadJob(LoadJob* job) {
    return QueueUserWorkItem(runLoadJob, job, WT_EXECUTELONGFUNCTION) != FALSE;
}

DWORD WINAPI runLoadJob(void* context) {
    LoadJob* job = static_cast<LoadJob*>(context);
    loadFile(job);
    HWND mainWindow = static_cast<HWND>(job->mainWindow);
    // A full message queue empties as the user-interface thread runs, so the post is tried
    // again; a window that is gone will never take the job over, so the job is released
    // here rather than left behind with its heap.
    while (!PostMessageW(mainWindow, kLoadCompleted, reinterpret_cast<WPARAM>(job), 0)) {
        if (!IsWindow(mainWindow)) {
            releaseLoadJob(job);
            break;
        }
        Sleep(10);
    }
    return 0;
}
