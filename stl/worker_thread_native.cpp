// The worker thread of the native build (tests, sanitizers, fuzzers): POSIX threads.
#include <pthread.h>
#include <stdlib.h>

#include "stl/worker_thread.h"

namespace {

struct Worker {
    void (*run)(void*);
    void* context;
    pthread_t thread;
};

void* runWorker(void* parameter) {
    Worker* worker = static_cast<Worker*>(parameter);
    worker->run(worker->context);
    return nullptr;
}

}  // namespace

WorkerThread startWorkerThread(void (*work)(void* context), void* context) {
    Worker* worker = static_cast<Worker*>(malloc(sizeof(Worker)));
    if (!worker)
        return nullptr;
    worker->run = work;
    worker->context = context;
    if (pthread_create(&worker->thread, nullptr, runWorker, worker) != 0) {
        free(worker);
        return nullptr;
    }
    return worker;
}

u32 joinWorkerThread(WorkerThread thread) {
    Worker* worker = static_cast<Worker*>(thread);
    pthread_join(worker->thread, nullptr);
    free(worker);
    return 0;
}
