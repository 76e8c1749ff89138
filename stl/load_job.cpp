#include "stl/load_job.h"

#include "diag/stage_stamps.h"

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

void formatKnown(void* context, StlFormat format) {
    LoadJob* job = static_cast<LoadJob*>(context);
    if (job->end && job->end->formatKnown)
        job->end->formatKnown(job, format);
}

bool parsed(void* context, const LoadResult* result) {
    LoadJob* job = static_cast<LoadJob*>(context);
    return !job->end || !job->end->parsed || job->end->parsed(job, result);
}

}  // namespace

LoadJob* createLoadJob(const wchar_t* path, const LoadJobEnd* end, void* endContext, WindowHandle mainWindow,
                       const ReportSink* sink) {
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
    job->end = end;
    job->endContext = endContext;
    job->mainWindow = mainWindow;
    job->translator = makeMessageTranslator(&job->collector);
    job->collector = ReportSink{job, collectJobReport};
    job->status = kJobRunning;
    return job;
}

void loadFile(LoadJob* job) {
    stampStage(kStampLoadBegins);
    LoadRoadHooks hooks = {job, formatKnown, parsed};
    bool ok = runLoadRoadOnFile(&job->file, job->path, &job->translator, &hooks);
    if (ok && job->end && job->end->finish) {
        job->upload = job->end->finish(job);
        ok = job->upload != nullptr;
    }
    if (!ok) {
        releaseLoadedFile(&job->file);
        job->status = job->cancelRequested ? kJobCancelled : kJobFailed;
        return;
    }
    job->status = kJobLoaded;
}

void freeLoadJobRecord(LoadJob* job) {
    releaseMessageText(&job->messages);
    deallocate(job->path);
    deallocate(job);
}

void releaseLoadJob(LoadJob* job) {
    if (job->upload && job->end && job->end->release)
        job->end->release(job->upload);
    releaseLoadedFile(&job->file);
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
