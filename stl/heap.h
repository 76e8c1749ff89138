// Memory of the program: the process heap for small long-lived records, and one private
// LoadHeap per load for everything that load allocates once its file is recognised.
//
// LoadHeap contract:
// - createLoadHeap makes a growable, serialised heap; destroyLoadHeap frees every block of
//   it at once, so a load's blocks need not be freed one by one (only the readers' failure
//   paths and temporary arrays free theirs).
// - allocateArray and reallocateArray are the reporting forms: on failure they report
//   "out of memory" to the sink (when there is one) and return null; a block given to
//   reallocateArray then stays valid and stays the caller's. Memory is not zeroed.
// - allocate, reallocate and deallocate work on the process heap, report nothing and
//   return what the system returns.
//
// The functions named heap* are the system side, one implementation per platform.
#pragma once

#include "diag/report.h"

typedef void* HeapHandle;
typedef HeapHandle LoadHeap;

// Set before the entry point by a static initialiser.
extern HeapHandle processHeap;

void* heapAllocate(HeapHandle heap, u64 size);
void* heapReallocate(HeapHandle heap, void* block, u64 size);
void heapFree(HeapHandle heap, void* block);
LoadHeap createLoadHeap();
void destroyLoadHeap(LoadHeap heap);

void* allocate(u64 size);
void* reallocate(void* block, u64 size);
void deallocate(void* block);

void* allocateArray(HeapHandle heap, u64 elementSize, u64 count, const ReportSink* sink);
void* reallocateArray(HeapHandle heap, void* block, u64 elementSize, u64 count, const ReportSink* sink);

template <typename T>
T* allocateArrayOf(HeapHandle heap, u64 count, const ReportSink* sink) {
    return static_cast<T*>(allocateArray(heap, sizeof(T), count, sink));
}
