#include "stl/load_job.h"

#include "diag/stage_stamps.h"
#include "stl/detect.h"
#include "stl/map_file.h"
#include "stl/provenance.h"

namespace {

// The last link of a job's chain, on the worker thread: keeps each line and the progress
// for the user-interface thread's tick, and answers stop once the job is superseded.
bool collectJobReport(void* context, ResultCode code, uptr argument, const Utf16*) {
    LoadJob* job = static_cast<LoadJob*>(context);
    acquireSpinLock(&job->messageLock);
    if (code == kUtf16Text)
        appendMessageLine(&job->messages, reinterpret_cast<const Utf16*>(argument));
    else if (code == kProgress)
        job->progress = u32(argument);
    releaseSpinLock(&job->messageLock);
    return job->cancelRequested == 0;
}

// The state of one load that the steps reading the mapped file share with loadFile; it
// lives in loadFile's frame, so a step cut short by a vanished file leaves it as it was.
struct ReadStep {
    LoadJob* job;
    const u8* view;
    u64 size;
    StlFormat format;
    LoadHeap heap;
};

bool detectStep(void* context) {
    ReadStep* step = static_cast<ReadStep*>(context);
    step->format = detectStlFormat(step->view, step->size);
    return step->format != kFormatUnknown;
}

// A text that lies in the mapped file moves into the load's heap: the user-interface thread
// shows the names after the load, outside the guarded reads, and the file may be gone by
// then. False (reported) when the heap is full.
bool copyOutOfFile(FileText* text, const ReadStep* step) {
    if (text->length == 0 || text->bytes < step->view || text->bytes >= step->view + step->size)
        return true;
    u8* copy = allocateArrayOf<u8>(step->heap, text->length, &step->job->translator);
    if (!copy)
        return false;
    __builtin_memcpy(copy, text->bytes, text->length);
    text->bytes = copy;
    return true;
}

bool parseStep(void* context) {
    ReadStep* step = static_cast<ReadStep*>(context);
    LoadResult* result = &step->job->result;
    if (!parseStl(result, step->format, step->view, step->view + step->size, step->heap, &step->job->translator))
        return false;
    for (u32 i = 0; i < result->mesh.solidCount; ++i)
        if (!copyOutOfFile(&result->mesh.solids[i].name, step))
            return false;
    return copyOutOfFile(&result->provenance.modelName, step);
}

}  // namespace

LoadJob* createLoadJob(const wchar_t* path, WindowHandle viewWindow, WindowHandle mainWindow, const ReportSink* sink) {
    LoadJob* job = static_cast<LoadJob*>(allocate(sizeof(LoadJob)));
    u64 units = 0;
    while (path[units])
        ++units;
    wchar_t* copy = job ? static_cast<wchar_t*>(allocate((units + 1) * sizeof(wchar_t))) : nullptr;
    if (!copy) {
        if (job)
            deallocate(job);
        if (sink)
            report(sink, kOutOfMemory);
        return nullptr;
    }
    __builtin_memcpy(copy, path, (units + 1) * sizeof(wchar_t));
    __builtin_memset(job, 0, sizeof(LoadJob));
    job->path = copy;
    job->viewWindow = viewWindow;
    job->mainWindow = mainWindow;
    job->translator = makeMessageTranslator(&job->collector);
    job->collector = ReportSink{job, collectJobReport};
    job->status = kJobRunning;
    return job;
}

void loadFile(LoadJob* job) {
    const ReportSink* sink = &job->translator;
    job->view = nullptr;
    stampStage(kStampLoadBegins);
    ReadStep step = {job, nullptr, 0, kFormatUnknown, nullptr};
    if (!mapFile(&step.view, &step.size, job->path, sink)) {
        job->status = kJobFailed;
        return;
    }
    GpuMesh* mesh = nullptr;
    u8* visible = nullptr;
    // A file that is neither encoding fails without a message: the empty message box and
    // the placeholder say enough.
    bool ok = readMappedFile(job, step.view, step.size, detectStep, &step);
    if (ok) {
        step.heap = createLoadHeap();
        if (!step.heap)
            report(sink, kOutOfMemory);
        ok = step.heap != nullptr;
    }
    if (ok) {
        warmUpJobGpu(job);
        ok = readMappedFile(job, step.view, step.size, parseStep, &step);
        stampStage(kStampParsed);
    }
    if (ok) {
        u32 solids = job->result.mesh.solidCount;
        visible = allocateArrayOf<u8>(step.heap, solids ? solids : 1, sink);
        ok = visible != nullptr;
    }
    if (ok) {
        __builtin_memset(visible, 1, job->result.mesh.solidCount);
        applyLoadDefaults(&job->result.provenance, sink);
        job->heap = step.heap;
        job->solidVisible = visible;
        mesh = prepareJobGpu(job, step.view, step.size);
        ok = mesh != nullptr;
    }
    if (!ok) {
        job->heap = nullptr;
        job->solidVisible = nullptr;
        if (step.heap)
            destroyLoadHeap(step.heap);
        if (step.view)
            unmapFile(step.view);
        job->status = job->cancelRequested ? kJobCancelled : kJobFailed;
        return;
    }
    job->fileSize = step.size;
    job->gpuMesh = mesh;
    job->solidVisible = visible;
    job->view = step.view;
    job->status = kJobLoaded;
}

void releaseLoadedFile(LoadedFile* file) {
    if (file->view) {
        if (file->gpuMesh)
            releaseVertexBuffer(file->gpuMesh);
        destroyLoadHeap(file->heap);
        unmapFile(file->view);
    }
    __builtin_memset(file, 0, sizeof(LoadedFile));
}

void freeLoadJobRecord(LoadJob* job) {
    releaseMessageText(&job->messages);
    deallocate(job->path);
    deallocate(job);
}

void releaseLoadJob(LoadJob* job) {
    releaseLoadedFile(reinterpret_cast<LoadedFile*>(&job->view));
    freeLoadJobRecord(job);
}

u32 takeJobMessages(LoadJob* job, void (*append)(void* context, const Utf16* text, u64 bytes), void* context) {
    acquireSpinLock(&job->messageLock);
    u32 progress = job->progress;
    if (job->messages.bytes != 0) {
        append(context, job->messages.text, job->messages.bytes);
        job->messages.bytes = 0;
        job->messages.text[0] = 0;
    }
    releaseSpinLock(&job->messageLock);
    return progress;
}
