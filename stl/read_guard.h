// Reads of bytes that may go away while they are read: a mapped file whose file is cut short
// by another system, a network share that drops, a disk pulled. Such a read faults; under
// the guard the fault ends the read as a failed one, with the system's text for it.
#pragma once

#include "diag/report.h"

// Runs `read` (context) and returns its answer. A fault of a read of [first, first + size)
// on this thread, or on a worker thread `read` started (worker_thread.h), is caught: the
// system's text for it goes to `sink` and the answer is false. `read` must hold nothing but
// blocks of its own load's heap while it touches the bytes: no lock, no reference, no block
// of another heap, since the frames between the fault and this call are skipped. Where no
// guard can be set up (the native build; no thread-local slot left) `read` runs unguarded.
bool runGuardedRead(const u8* first, u64 size, const ReportSink* sink, bool (*read)(void* context), void* context);
