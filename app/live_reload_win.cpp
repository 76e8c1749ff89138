// Live reload: the shown file is watched (file_watch_win.h); each change it reports starts
// the quiet period again, and when writing has been quiet that long the file is loaded
// again beside the shown model. A reload that succeeds takes the model's place with the
// camera and the solids' visibility kept; one that fails (a file caught half written)
// leaves the last good model, its messages and its tree as they were, until a later change
// brings a file that loads. A file gone at the end of the quiet period is said once; the
// model read last stays. Only a shown model is followed: the watch starts when the load has
// shown it (a change while the file is first read is not seen), and a file whose load failed
// waits to be opened again.
#include <windows.h>

#include "app/file_watch_win.h"
#include "app/main_window_win.h"
#include "render/load_gpu_win.h"
#include "render/view_window_win.h"

namespace {

enum : UINT { kQuietMilliseconds = 300 };

wchar_t* copyText(const wchar_t* text) {
    u64 units = 0;
    while (text[units])
        ++units;
    wchar_t* copy = static_cast<wchar_t*>(allocate((units + 1) * sizeof(wchar_t)));
    if (copy) {
        for (u64 i = 0; i <= units; ++i)
            copy[i] = text[i];
    }
    return copy;
}

bool sameName(const FileText& a, const FileText& b) {
    if (a.length != b.length)
        return false;
    for (u32 i = 0; i < a.length; ++i) {
        if (a.bytes[i] != b.bytes[i])
            return false;
    }
    return true;
}

// The n-th solid of a name in the new load takes the visibility of the n-th solid of that
// name in the old one; solids without a match are shown.
void carryVisibility(const LoadedFile& from, LoadedFile* to) {
    const StlSolid* oldSolids = from.result.mesh.solids;
    const StlSolid* newSolids = to->result.mesh.solids;
    for (u32 i = 0; i < to->result.mesh.solidCount; ++i) {
        u32 before = 0;
        for (u32 j = 0; j < i; ++j)
            before += sameName(newSolids[j].name, newSolids[i].name);
        for (u32 j = 0; j < from.result.mesh.solidCount; ++j) {
            if (sameName(oldSolids[j].name, newSolids[i].name) && before-- == 0) {
                to->solidVisible[i] = from.solidVisible[j];
                break;
            }
        }
    }
}

void dropReloadJob(MainWindow* main) {
    if (main->reloadJob)
        main->reloadJob->cancelRequested = 1;  // discarded on completion
    main->reloadJob = nullptr;
}

}  // namespace

void watchFile(MainWindow* main, const wchar_t* path) {
    if (main->watch)
        endFileWatch(main->watch);
    KillTimer(main->window, kReloadTimer);
    dropReloadJob(main);
    if (main->watchedPath)
        deallocate(main->watchedPath);
    main->watchedPath = copyText(path);
    main->deletionReported = false;
    main->gpuReloadTried = false;
    main->watch = nullptr;
    ++main->watchTag;
}

// Started once a model is on screen, so that stepping through a folder starts no watch
// for the files it only passes.
void followShownFile(MainWindow* main) {
    if (!main->watch && main->watchedPath && main->fileShown)
        main->watch = startFileWatch(main->watchedPath, main->window, kFileChanged, main->watchTag);
}

// Each change sets the timer again: an existing timer of the same id is replaced
// (learn.microsoft.com, SetTimer), so the reload waits for a quiet period.
void onFileChanged(MainWindow* main, WPARAM tag) {
    if (tag == main->watchTag && main->watch)
        SetTimer(main->window, kReloadTimer, kQuietMilliseconds, nullptr);
}

void onReloadTimer(MainWindow* main) {
    KillTimer(main->window, kReloadTimer);
    if (!main->watchedPath || !main->fileShown || main->job)
        return;
    if (GetFileAttributesW(main->watchedPath) == INVALID_FILE_ATTRIBUTES) {
        if (!main->deletionReported)
            appendLine(main, L"file deleted on disk; the model shown is the last one read");
        main->deletionReported = true;
        return;
    }
    main->deletionReported = false;
    reloadShownFile(main);
}

// The reload runs beside the shown model; a newer one supersedes it.
void reloadShownFile(MainWindow* main) {
    dropReloadJob(main);
    main->reloadJob = queueViewLoad(main, main->watchedPath);
}

void onReloadCompleted(MainWindow* main, LoadJob* job) {
    main->reloadJob = nullptr;
    if (job->status != kJobLoaded || !main->fileShown) {
        releaseLoadJob(job);
        ++main->loadsDiscarded;
        return;
    }
    HWND view = control(main, kViewId);
    ViewState* state = viewStateOf(view);
    Camera camera = state ? state->camera : Camera{};
    carryVisibility(main->shown, &job->file);
    // The view lets go of the old mesh before the heap that holds it goes.
    detachMesh(view);
    if (main->shownMesh)
        releaseVertexBuffer(main->shownMesh);
    releaseShownMemory(main);
    main->shown = job->file;
    main->shownMesh = jobMesh(job);
    SetWindowTextW(control(main, kMessagesId), L"");
    takeJobMessages(job, appendToMessages, control(main, kMessagesId));
    showLoadResult(main);
    if (state) {
        for (int axis = 0; axis < 3; ++axis)
            state->camera.pan[axis] = camera.pan[axis];
    }
    appendLine(main, main->gpuReloadTried ? L"GPU lost; file reloaded" : L"file changed on disk; reloaded");
    main->gpuReloadTried = false;
    ++main->reloadsShown;
    freeLoadJobRecord(job);
}

// After a lost GPU (a driver update, a timeout and recovery, a remote session, a GPU switch)
// the view shows the placeholder; the shown file is loaded again onto a new device with the
// camera kept. A reload that fails leaves the placeholder; a GPU that stays lost is not
// retried until a load is shown again.
void onGpuLostReload(MainWindow* main) {
    if (main->gpuReloadTried || !main->fileShown || main->job || main->reloadJob || !main->watchedPath)
        return;
    main->gpuReloadTried = true;
    reloadShownFile(main);
}
