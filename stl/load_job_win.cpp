// The Windows side of a load job: the thread pool, the completion message, and the view's
// GPU objects.
#include <windows.h>

#include "diag/messages.h"
#include "diag/stage_stamps.h"
#include "render/view_gpu_win.h"
#include "stl/load_job.h"
#include "stl/worker_thread.h"

extern "C" __declspec(dllimport) ULONG WINAPI RtlNtStatusToDosError(LONG status);

namespace {

// Reading a mapped file that has gone away.
//
// A read of a mapped view whose file is no longer there raises a hardware exception on the
// reading thread: EXCEPTION_IN_PAGE_ERROR on Windows (with the I/O status that failed),
// an access violation under Wine when the file was cut short from Linux. The program has
// no C runtime and no C++ exceptions, so there is no __try: a vectored handler sees the
// fault first, and when it lies inside the mapped file of a guarded read on the faulting
// thread, resumes that thread in landOnFault, which goes back to readMappedFile's recovery
// point with __builtin_longjmp.
//
// Why this is safe: the guarded reads (detection, the readers, exporter identification,
// vertex preparation) hold no lock and no reference while they touch the file, and
// allocate only from the job's own heap, which loadFile destroys as a whole afterwards;
// the frames that are skipped own nothing else. Any other fault, and a fault of the same
// thread outside the file, goes on to the system as before.
//
// The vertex preparation of a large mesh writes half of it on a worker thread, which reads
// the file too: the worker is guarded over the same file on its own thread, and a guarded
// read that faults waits for the worker it started before it goes back, so that nothing
// writes into the heap the caller is about to destroy.
struct Worker {
    void (*run)(void*);
    void* context;
    HANDLE thread;
    const u8* first;  // the starter's guarded file, guarded on the worker too; null when none
    const u8* end;
    u32 error;  // of a fault that ended the work early
};

struct ReadGuard {
    void* recovery[5];  // __builtin_setjmp's buffer
    const u8* first;
    const u8* end;
    u32 error;  // the Win32 error that the fault stands for
    Worker* worker;  // started under this guard and not yet joined
};

// The guard of the faulting thread, in a TLS slot made with the handler on first use.
volatile u32 guardSetup;  // 0 not yet, 1 being made, 2 made
DWORD guardSlot = TLS_OUT_OF_INDEXES;

[[noreturn]] __attribute__((noinline)) void landOnFault(ReadGuard* guard) {
    __builtin_longjmp(guard->recovery, 1);
}

LONG CALLBACK onReadFault(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    DWORD code = record->ExceptionCode;
    if ((code != EXCEPTION_IN_PAGE_ERROR && code != EXCEPTION_ACCESS_VIOLATION) || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    ReadGuard* guard = static_cast<ReadGuard*>(TlsGetValue(guardSlot));
    const u8* address = reinterpret_cast<const u8*>(record->ExceptionInformation[1]);
    if (!guard || address < guard->first || address >= guard->end)
        return EXCEPTION_CONTINUE_SEARCH;
    // The I/O status of an in-page error names the cause (a network name deleted, a device
    // not connected); a file cut short has none, and is a file no longer valid.
    u32 error = ERROR_FILE_INVALID;
    if (code == EXCEPTION_IN_PAGE_ERROR && record->NumberParameters >= 3) {
        ULONG converted = RtlNtStatusToDosError(LONG(record->ExceptionInformation[2]));
        if (converted != 0 && converted != ERROR_MR_MID_NOT_FOUND)
            error = converted;
    }
    guard->error = error;
    // Resume as if landOnFault had been called from the faulting frame: the stack below it
    // is the dispatcher's and dead once the thread continues; 32 bytes of home space and a
    // return address slot keep the call convention's layout.
    CONTEXT* context = pointers->ContextRecord;
    context->Rsp = ((context->Rsp - 256) & ~DWORD64(15)) - 40;
    context->Rcx = reinterpret_cast<DWORD64>(guard);
    context->Rip = reinterpret_cast<DWORD64>(&landOnFault);
    return EXCEPTION_CONTINUE_EXECUTION;
}

bool setUpGuards() {
    u32 expected = 0;
    if (__atomic_compare_exchange_n(&guardSetup, &expected, 1u, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        guardSlot = TlsAlloc();
        if (guardSlot != TLS_OUT_OF_INDEXES && !AddVectoredExceptionHandler(1, onReadFault)) {
            TlsFree(guardSlot);
            guardSlot = TLS_OUT_OF_INDEXES;
        }
        __atomic_store_n(&guardSetup, 2u, __ATOMIC_RELEASE);
    }
    while (__atomic_load_n(&guardSetup, __ATOMIC_ACQUIRE) != 2)
        YieldProcessor();
    return guardSlot != TLS_OUT_OF_INDEXES;
}

ReadGuard* currentGuard() {
    if (__atomic_load_n(&guardSetup, __ATOMIC_ACQUIRE) != 2 || guardSlot == TLS_OUT_OF_INDEXES)
        return nullptr;
    return static_cast<ReadGuard*>(TlsGetValue(guardSlot));
}

u32 finishWorker(Worker* worker) {
    WaitForSingleObject(worker->thread, INFINITE);
    CloseHandle(worker->thread);
    u32 error = worker->error;
    HeapFree(GetProcessHeap(), 0, worker);
    return error;
}

// Kept out of line: __builtin_setjmp makes its caller save every register it may need
// after the jump.
__attribute__((noinline)) bool runGuarded(ReadGuard* guard, bool (*read)(void*), void* context) {
    if (__builtin_setjmp(guard->recovery)) {
        TlsSetValue(guardSlot, nullptr);
        if (guard->worker)
            finishWorker(guard->worker);
        return false;
    }
    TlsSetValue(guardSlot, guard);
    bool answer = read(context);
    TlsSetValue(guardSlot, nullptr);
    return answer;
}

bool runWork(void* context) {
    Worker* worker = static_cast<Worker*>(context);
    worker->run(worker->context);
    return true;
}

DWORD WINAPI runWorker(void* parameter) {
    Worker* worker = static_cast<Worker*>(parameter);
    ReadGuard guard = {};
    guard.first = worker->first;
    guard.end = worker->end;
    if (!worker->first)
        runWork(worker);
    else if (!runGuarded(&guard, runWork, worker))
        worker->error = guard.error;
    return 0;
}

DWORD WINAPI warmUpGpu(void* context) {
    ViewState* state = static_cast<ViewState*>(context);
    ensureGpu(state, nullptr);
    releaseViewState(state);
    return 0;
}

}  // namespace

// A thread of its own rather than a thread-pool item: the load job already runs on a pool
// thread, and its helper must not queue behind other work of the pool.
WorkerThread startWorkerThread(void (*work)(void* context), void* context) {
    ReadGuard* guard = currentGuard();
    if (guard && guard->worker)
        return nullptr;  // one worker a guarded read
    Worker* worker = static_cast<Worker*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Worker)));
    if (!worker)
        return nullptr;
    worker->run = work;
    worker->context = context;
    if (guard) {
        worker->first = guard->first;
        worker->end = guard->end;
    }
    worker->thread = CreateThread(nullptr, 64 * 1024, runWorker, worker, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!worker->thread) {
        HeapFree(GetProcessHeap(), 0, worker);
        return nullptr;
    }
    if (guard)
        guard->worker = worker;
    return worker;
}

u32 joinWorkerThread(WorkerThread thread) {
    ReadGuard* guard = currentGuard();
    if (guard && guard->worker == thread)
        guard->worker = nullptr;
    return finishWorker(static_cast<Worker*>(thread));
}

bool queueLoadJob(LoadJob* job) {
    return QueueUserWorkItem(runLoadJob, job, WT_EXECUTELONGFUNCTION) != FALSE;
}

DWORD WINAPI runLoadJob(void* context) {
    LoadJob* job = static_cast<LoadJob*>(context);
    loadFile(job);
    HWND mainWindow = static_cast<HWND>(job->mainWindow);
    // A full message queue empties as the user-interface thread runs, so the post is tried
    // again; a window that is gone will never take the job over, so the job is released
    // here rather than left behind with its heap and mapped file.
    while (!PostMessageW(mainWindow, kLoadCompleted, reinterpret_cast<WPARAM>(job), 0)) {
        if (!IsWindow(mainWindow)) {
            releaseLoadJob(job);
            break;
        }
        Sleep(10);
    }
    return 0;
}

void warmUpJobGpu(LoadJob* job) {
    ViewState* state = retainViewState(static_cast<HWND>(job->viewWindow));
    if (state && !QueueUserWorkItem(warmUpGpu, state, 0))
        releaseViewState(state);
}

bool readMappedFile(LoadJob* job, const u8* view, u64 size, bool (*read)(void* context), void* context) {
    // Without the handler (no TLS slot left) the reads go ahead unguarded, as they would
    // without this function.
    if (!view || !setUpGuards())
        return read(context);
    ReadGuard guard = {};
    guard.first = view;
    guard.end = view + size;
    if (runGuarded(&guard, read, context))
        return true;
    if (guard.error)
        report(&job->translator, kSystemError, guard.error);
    return false;
}

namespace {

struct UploadStep {
    GpuMesh* mesh;
    const Renderer* renderer;  // only its device, for the vertex buffer
    LoadJob* job;
};

bool uploadStep(void* context) {
    UploadStep* step = static_cast<UploadStep*>(context);
    LoadJob* job = step->job;
    return prepareGpuMesh(step->mesh, step->renderer, &job->result, job->solidVisible, job->heap, &job->translator);
}

}  // namespace

GpuMesh* prepareJobGpu(LoadJob* job, const u8* file, u64 size) {
    const ReportSink* sink = &job->translator;
    ViewState* state = retainViewState(static_cast<HWND>(job->viewWindow));
    if (!state)
        return nullptr;
    // The upload works on a reference of its own: the user-interface thread may release the
    // view's device (a lost GPU) while the buffer is being made.
    Renderer upload = {};
    bool failed = !ensureGpu(state, sink);
    stampStage(kStampDeviceReady);
    if (!failed) {
        acquireSpinLock(&state->gpuLock);
        upload.device = state->renderer.device;
        if (upload.device)
            upload.device->AddRef();
        else
            onGpuLost(state, DXGI_ERROR_DEVICE_REMOVED, sink);  // lost since it was made ready
        releaseSpinLock(&state->gpuLock);
    }
    releaseViewState(state);
    if (!upload.device)
        return nullptr;
    // The vertices are made from the file's triangles before anything goes to the GPU, so a
    // vanished file cuts the step short while it holds only the heap; the device reference
    // is this function's and is released below either way.
    GpuMesh* mesh = allocateArrayOf<GpuMesh>(job->heap, 1, sink);
    UploadStep step = {mesh, &upload, job};
    if (mesh && !readMappedFile(job, file, size, uploadStep, &step))
        mesh = nullptr;
    stampStage(kStampUploaded);
    upload.device->Release();
    return mesh;
}
