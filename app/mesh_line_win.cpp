// The mesh check of the shown file and its line under the dimensions. The check runs on a
// thread of its own once the model is on screen. A newer load stops it without waiting: the
// check takes the file it reads along and releases it when its thread has ended.
#include <windows.h>

#include "app/main_window_win.h"
#include "format/mesh_text.h"
#include "stl/heap.h"
#include "stl/worker_thread.h"

struct MeshCheckRun {
    HWND window;  // told with kMeshChecked when the check ends
    PreparedVertices vertices;  // the shown file's array
    HeapHandle heap;  // the load's, for the marks
    f64 metresPerUnit;
    volatile u8 cancel;
    bool checked;
    LoadedFile file;  // the file it read, once a newer one took its place
    WorkerThread thread;
    MeshCheck check;
    GpuVertex* markVertices;  // in the load's heap
    u32 tintedVertexCount;
    u32 edgeVertexCount;
};

namespace {

// The check's only sink: every report is a chance to stop; what went wrong shows as the line.
bool answerCheck(void* context, ResultCode, uptr, const Utf16*) {
    return static_cast<MeshCheckRun*>(context)->cancel == 0;
}

// The marks as the view draws them: the three corners of each tinted triangle, then the two
// ends of each marked edge, white, with one normal that the key light meets well with either
// axis up. None when they would not fit one buffer or memory runs out.
void makeMarkVertices(MeshCheckRun* run, const MeshMarks* marks) {
    const GpuVertex* corners = run->vertices.vertices;
    u64 tinted = 0;
    for (u64 t = 0; marks->tintedTriangles && t < run->check.triangles; ++t)
        tinted += marks->tintedTriangles[t];
    u64 count = 3 * tinted + 2 * marks->edgeEndCount;
    if (count == 0 || count > kMaxGpuVertices)
        return;
    GpuVertex* out = allocateArrayOf<GpuVertex>(run->heap, count, nullptr);
    if (!out)
        return;
    GpuVertex* at = out;
    auto copy = [&](u64 corner) {
        const f32* p = corners[corner].position;
        *at++ = GpuVertex{{p[0], p[1], p[2]}, {0.39f, 0.29f, 0.87f}, {255, 255, 255, 255}};
    };
    for (u64 t = 0; tinted && t < run->check.triangles; ++t)
        if (marks->tintedTriangles[t])
            for (u64 k = 0; k < 3; ++k)
                copy(3 * t + k);
    for (u64 i = 0; i < 2 * marks->edgeEndCount; ++i)
        copy(marks->edgeEnds[i]);
    run->markVertices = out;
    run->tintedVertexCount = u32(3 * tinted);
    run->edgeVertexCount = u32(2 * marks->edgeEndCount);
}

void runMeshCheck(void* context) {
    MeshCheckRun* run = static_cast<MeshCheckRun*>(context);
    ReportSink sink = {run, answerCheck};
    MeshMarks marks;
    run->checked = checkMesh(&run->vertices, run->metresPerUnit, &sink, &run->check, run->heap, &marks);
    if (run->checked) {
        makeMarkVertices(run, &marks);
        heapFree(run->heap, marks.edgeEnds);
        heapFree(run->heap, marks.tintedTriangles);
    }
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
    run->vertices = main->shown.vertices;
    run->heap = main->shown.heap;
    run->metresPerUnit = decimalUnit(main->shown.result.provenance.metresPerUnit);
    run->thread = startWorkerThread(runMeshCheck, run);
    if (!run->thread) {
        deallocate(run);
        return;
    }
    main->meshCheck = run;
}

void releaseShownMemory(MainWindow* main) {
    KillTimer(main->window, kMeshCheckTimer);
    SetWindowTextW(control(main, kMeshLineId), L"");
    if (MeshCheckRun* run = main->meshCheck) {
        run->cancel = 1;
        run->file = main->shown;
        main->shown = LoadedFile{};
        main->meshCheck = nullptr;
    }
    releaseLoadedFile(&main->shown);
}

void onMeshChecked(MainWindow* main, MeshCheckRun* run) {
    joinWorkerThread(run->thread);  // it has posted its last word
    if (run == main->meshCheck) {
        main->meshCheck = nullptr;
        // The GPU has its copy; the array was kept for the check alone.
        heapFree(main->shown.heap, main->shown.vertices.vertices);
        main->shown.vertices.vertices = nullptr;
        Utf16 text[kMeshTextUnits + 8] = u"mesh: ";
        const u32 label = 6;
        if (GpuMesh* mesh = run->checked ? main->shownMesh : nullptr) {
            *writeMeshText(&run->check, mesh->size, text + label) = 0;
            mesh->markVertices = run->markVertices;
            mesh->tintedVertexCount = run->tintedVertexCount;
            mesh->edgeVertexCount = run->edgeVertexCount;
            if (main->showOpenEdges && run->markVertices)
                InvalidateRect(control(main, kViewId), nullptr, FALSE);
        } else
            __builtin_memcpy(text + label, u"not checked", 12 * sizeof(Utf16));
        SetWindowTextW(control(main, kMeshLineId), reinterpret_cast<const wchar_t*>(text));
    }
    releaseLoadedFile(&run->file);
    deallocate(run);
}
