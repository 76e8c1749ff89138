#include <windows.h>

#include "stl/worker_thread.h"

namespace {

struct Worker {
    void (*run)(void*);
    void* context;
    HANDLE thread;
};

DWORD WINAPI runWorker(void* parameter) {
    Worker* worker = static_cast<Worker*>(parameter);
    worker->run(worker->context);
    return 0;
}

}  // namespace

// A thread of its own rather than a thread-pool item: the load job already runs on a pool
// thread, and its helper must not queue behind other work of the pool.
WorkerThread startWorkerThread(void (*work)(void* context), void* context) {
    Worker* worker = static_cast<Worker*>(HeapAlloc(GetProcessHeap(), 0, sizeof(Worker)));
    if (!worker)
        return nullptr;
    worker->run = work;
    worker->context = context;
    worker->thread = CreateThread(nullptr, 64 * 1024, runWorker, worker, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!worker->thread) {
        HeapFree(GetProcessHeap(), 0, worker);
        return nullptr;
    }
    return worker;
}

void joinWorkerThread(WorkerThread thread) {
    Worker* worker = static_cast<Worker*>(thread);
    WaitForSingleObject(worker->thread, INFINITE);
    CloseHandle(worker->thread);
    HeapFree(GetProcessHeap(), 0, worker);
}
