// A second thread for one piece of work that its starter waits for: the load's own CPU work
// spread over two cores. startWorkerThread answers null when no thread could be made; the
// caller then does the work itself. joinWorkerThread waits for the work and frees the thread.
#pragma once

#include "diag/base.h"

typedef void* WorkerThread;

WorkerThread startWorkerThread(void (*work)(void* context), void* context);
void joinWorkerThread(WorkerThread thread);
