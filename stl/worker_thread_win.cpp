// The worker thread of the Windows build. A thread of its own rather than a thread-pool item:
// the load job already runs on a pool thread, and its helper must not queue behind other work
// of the pool. A worker started inside a guarded read reads the same bytes under a guard of
// its own, and its fault comes back as the error of the join.
#include <windows.h>

#include "stl/read_guard_win.h"

namespace {

struct Worker {
    void (*run)(void*);
    void* context;
    HANDLE thread;
    const u8* first;  // the starter's guarded bytes, guarded on the worker too; null when none
    const u8* end;
    u32 error;  // of a fault that ended the work early
};

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
    else if (!runUnderGuard(&guard, runWork, worker))
        worker->error = guard.error;
    return 0;
}

}  // namespace

WorkerThread startWorkerThread(void (*work)(void* context), void* context) {
    ReadGuard* guard = currentReadGuard();
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
    ReadGuard* guard = currentReadGuard();
    if (guard && guard->worker == thread)
        guard->worker = nullptr;
    Worker* worker = static_cast<Worker*>(thread);
    WaitForSingleObject(worker->thread, INFINITE);
    CloseHandle(worker->thread);
    u32 error = worker->error;
    HeapFree(GetProcessHeap(), 0, worker);
    return error;
}
