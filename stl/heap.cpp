#include "stl/heap.h"

void* allocate(u64 size) {
    return heapAllocate(processHeap, size);
}

void* reallocate(void* block, u64 size) {
    return heapReallocate(processHeap, block, size);
}

void deallocate(void* block) {
    heapFree(processHeap, block);
}

// A product past 2^64 - 1 would wrap to a small size and hand out a block far shorter than
// the caller is about to write, so it fails before the heap is asked.
static bool arrayBytes(u64 elementSize, u64 count, u64* bytes) {
    if (count > UINT64_MAX / elementSize)
        return false;
    *bytes = elementSize * count;
    return true;
}

void* allocateArray(HeapHandle heap, u64 elementSize, u64 count, const ReportSink* sink) {
    u64 bytes;
    void* block = arrayBytes(elementSize, count, &bytes) ? heapAllocate(heap, bytes) : nullptr;
    if (!block && sink)
        report(sink, kOutOfMemory);
    return block;
}

void* reallocateArray(HeapHandle heap, void* block, u64 elementSize, u64 count, const ReportSink* sink) {
    u64 bytes;
    void* grown = arrayBytes(elementSize, count, &bytes) ? heapReallocate(heap, block, bytes) : nullptr;
    if (!grown && sink)
        report(sink, kOutOfMemory);
    return grown;
}
