// The user interface's side of a load: release what the previous load left, queue a job,
// show its progress and messages every 25 ms, and take its result over when it completes,
// unless a newer load superseded it.
#include <windows.h>
#include <commctrl.h>

#include "app/main_window_win.h"
#include "render/load_gpu_win.h"
#include "render/view_window_win.h"

namespace {

const wchar_t kTitlePrefix[] = L"Vantorel STL Viewer \u2013 ";

u32 textLength(const wchar_t* text) {
    u32 length = 0;
    while (text[length])
        ++length;
    return length;
}

// The displayed load goes at once: the view lets go of its mesh before the heap that
// holds the mesh record is destroyed.
void releaseShownFile(MainWindow* main) {
    HWND view = control(main, kViewId);
    ShowWindow(view, SW_HIDE);
    detachMesh(view);
    emptyTree(control(main, kTreeId));
    if (main->shownMesh)
        releaseVertexBuffer(main->shownMesh);
    main->shownMesh = nullptr;
    releaseShownMemory(main);
    main->fileShown = false;
    SetWindowTextW(control(main, kMessagesId), L"");
    ShowWindow(control(main, kProgressId), SW_SHOW);
    SetWindowTextW(control(main, kFormatLineId), L"");
    SetWindowTextW(control(main, kDimensionsLineId), L"");
    EnableWindow(control(main, kSpaceListId), FALSE);
}

}  // namespace

LoadJob* queueViewLoad(MainWindow* main, const wchar_t* path) {
    LoadJob* job = createViewLoadJob(path, control(main, kViewId), main->window, &main->translator);
    if (job && !queueLoadJob(job)) {
        freeLoadJobRecord(job);
        job = nullptr;
    }
    return job;
}

void appendToMessages(void* edit, const Utf16* text, u64) {
    appendText(static_cast<HWND>(edit), reinterpret_cast<const wchar_t*>(text));
}

void makeWindowTitle(const wchar_t* path, wchar_t title[kTitleUnits]) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/')
            name = p + 1;
    }
    const u32 prefixLength = sizeof kTitlePrefix / sizeof kTitlePrefix[0] - 1;
    const u32 room = kTitleUnits - prefixLength - 1;
    for (u32 i = 0; i < prefixLength; ++i)
        title[i] = kTitlePrefix[i];
    wchar_t* out = title + prefixLength;
    u32 length = textLength(name);
    if (length < room) {
        for (u32 i = 0; i < length; ++i)
            *out++ = name[i];
    } else {
        for (u32 i = 0; i < room - 1; ++i)
            *out++ = name[i];
        *out++ = L'\u2026';
    }
    *out = 0;
}

void beginLoad(MainWindow* main, const wchar_t* path) {
    watchFile(main, path);
    // A running job is not waited for: it ends by itself and is discarded on completion.
    if (main->job)
        main->job->cancelRequested = 1;
    HWND view = control(main, kViewId);
    HWND progress = control(main, kProgressId);
    ShowWindow(view, SW_HIDE);
    SendMessageW(progress, PBM_SETPOS, 0, 0);
    ShowWindow(progress, SW_SHOW);
    SetWindowTextW(control(main, kMessagesId), L"");

    wchar_t title[kTitleUnits];
    makeWindowTitle(path, title);
    SetWindowTextW(main->window, title);

    if (main->fileShown)
        releaseShownFile(main);

    main->job = queueViewLoad(main, path);
    if (!main->job)
        return;
    ++main->loadsBegun;
    SetTimer(main->window, kProgressTimer, 25, nullptr);
}

void onProgressTimer(MainWindow* main, UINT_PTR timer) {
    if (timer != kProgressTimer || !main->job)
        return;
    u32 progress = takeJobMessages(main->job, appendToMessages, control(main, kMessagesId));
    SendMessageW(control(main, kProgressId), PBM_SETPOS, (progress + 5) / 10, 0);
}

void onLoadCompleted(MainWindow* main, LoadJob* job) {
    if (job == main->reloadJob) {
        onReloadCompleted(main, job);
        return;
    }
    if (job != main->job) {
        releaseLoadJob(job);
        ++main->loadsDiscarded;
        return;
    }
    ++main->loadsShown;
    KillTimer(main->window, kProgressTimer);
    if (job->status != kJobCancelled)
        takeJobMessages(job, appendToMessages, control(main, kMessagesId));
    main->shown = job->file;
    main->shownMesh = jobMesh(job);
    main->fileShown = job->status == kJobLoaded;
    showLoadResult(main);
    followShownFile(main);
    freeLoadJobRecord(job);
}
