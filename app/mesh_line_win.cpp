// The mesh check of the shown file and its line under the dimensions. The check runs on a
// thread of its own once the model is on screen, and a newer load stops it before the file
// it reads goes away.
#include <windows.h>

#include "app/main_window_win.h"
#include "format/mesh_text.h"
#include "stl/heap.h"
#include "stl/worker_thread.h"

struct MeshCheckRun {
    HWND window;  // told with kMeshChecked when the check ends
    const PreparedVertices* vertices;
    f64 metresPerUnit;
    volatile u8 cancel;
    bool joined;  // the thread is gone; the record waits for its message
    bool checked;
    WorkerThread thread;
    MeshCheck check;
};

namespace {

// The check's only sink: every report is a chance to stop; what went wrong shows as the line.
bool answerCheck(void* context, ResultCode, uptr, const Utf16*) {
    return static_cast<MeshCheckRun*>(context)->cancel == 0;
}

void runMeshCheck(void* context) {
    MeshCheckRun* run = static_cast<MeshCheckRun*>(context);
    ReportSink sink = {run, answerCheck};
    run->checked = checkMesh(run->vertices, run->metresPerUnit, &sink, &run->check);
    PostMessageW(run->window, kMeshChecked, 0, reinterpret_cast<LPARAM>(run));
}

}  // namespace

// A timer's message comes after the paint messages ("GetMessage ... processes messages in
// the following order: ... WM_PAINT messages, WM_TIMER messages", GetMessage on Microsoft
// Learn), so the check starts after the first frame has been drawn; and only once the user
// rests on the file, so that stepping through a folder starts no check it would stop again.
const UINT kMeshCheckDelayMs = 250;

void scheduleMeshCheck(MainWindow* main) {
    SetWindowTextW(control(main, kMeshLineId), L"");
    SetTimer(main->window, kMeshCheckTimer, kMeshCheckDelayMs, nullptr);
}

void onMeshCheckTimer(MainWindow* main) {
    KillTimer(main->window, kMeshCheckTimer);
    const PreparedVertices& vertices = main->shown.vertices;
    if (!main->fileShown || main->meshCheck || (vertices.vertexCount && !vertices.vertices))
        return;
    MeshCheckRun* run = static_cast<MeshCheckRun*>(allocate(sizeof(MeshCheckRun)));
    if (!run)
        return;
    *run = MeshCheckRun{};
    run->window = main->window;
    run->vertices = &main->shown.vertices;
    run->metresPerUnit = decimalUnit(main->shown.result.provenance.metresPerUnit);
    run->thread = startWorkerThread(runMeshCheck, run);
    if (!run->thread) {
        deallocate(run);
        return;
    }
    main->meshCheck = run;
}

// Waits a moment at most: the check looks at `cancel` every few thousand triangles and
// never needs this thread.
void stopMeshCheck(MainWindow* main) {
    KillTimer(main->window, kMeshCheckTimer);
    SetWindowTextW(control(main, kMeshLineId), L"");
    MeshCheckRun* run = main->meshCheck;
    if (!run)
        return;
    run->cancel = 1;
    joinWorkerThread(run->thread);
    run->joined = true;
    main->meshCheck = nullptr;
}

void onMeshChecked(MainWindow* main, MeshCheckRun* run) {
    if (!run->joined)
        joinWorkerThread(run->thread);  // it has posted its last word
    if (run == main->meshCheck) {
        main->meshCheck = nullptr;
        // The GPU has its copy; the array was kept for the check alone.
        heapFree(main->shown.heap, main->shown.vertices.vertices);
        main->shown.vertices.vertices = nullptr;
        Utf16 text[kMeshTextUnits + 8] = u"mesh: ";
        const u32 label = 6;
        if (run->checked && main->shownMesh)
            *writeMeshText(&run->check, main->shownMesh->size, text + label) = 0;
        else
            __builtin_memcpy(text + label, u"not checked", 12 * sizeof(Utf16));
        SetWindowTextW(control(main, kMeshLineId), reinterpret_cast<const wchar_t*>(text));
    }
    deallocate(run);
}
