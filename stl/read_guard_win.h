// The guard's state, shared with the worker thread of the same floor: a worker started
// inside a guarded read reads the same bytes under a guard of its own, and a guarded read
// that faults waits for that worker before it goes back.
#pragma once

#include "stl/read_guard.h"
#include "stl/worker_thread.h"

struct ReadGuard {
    void* recovery[5];  // __builtin_setjmp's buffer
    const u8* first;
    const u8* end;
    u32 error;  // the Win32 error that the fault stands for
    WorkerThread worker;  // started under this guard and not yet joined
};

// The guard of the calling thread's read, or null.
ReadGuard* currentReadGuard();

// Runs `read` under `guard` (its range set, the rest zero) on the calling thread; false when
// a read faulted, `guard->error` then saying why.
bool runUnderGuard(ReadGuard* guard, bool (*read)(void* context), void* context);
