// A second thread for one piece of work that its starter waits for: the load's own CPU work
// spread over two cores. startWorkerThread answers null when no thread could be made; the
// caller then does the work itself. joinWorkerThread waits for the work and frees the thread;
// it answers 0, or the Win32 error of a read of guarded bytes that faulted on the worker,
// whose work then ended there: on Windows a worker started inside a guarded read
// (read_guard.h) reads under the same guard.
#pragma once

#include "diag/base.h"

typedef void* WorkerThread;

WorkerThread startWorkerThread(void (*work)(void* context), void* context);
u32 joinWorkerThread(WorkerThread thread);
