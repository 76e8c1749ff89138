// Heaps for the native build: malloc blocks chained into their heap, so that destroying
// a LoadHeap frees every block it holds, as HeapDestroy does, and the leak checker sees
// the same ownership as on Windows.
#include <stdlib.h>

#include "stl/heap.h"

namespace {

struct BlockHeader {
    BlockHeader* previous;
    BlockHeader* next;
};

struct NativeHeap {
    BlockHeader head;  // circular list; head.next is the first block
};

NativeHeap processHeapRecord = {{&processHeapRecord.head, &processHeapRecord.head}};

BlockHeader* headerOf(void* block) {
    return static_cast<BlockHeader*>(block) - 1;
}

// Several threads may use one heap at once, as Windows heaps serialise their callers.
volatile int chainLock;

void lockChains() {
    while (__atomic_exchange_n(&chainLock, 1, __ATOMIC_ACQUIRE))
        ;
}

void unlockChains() {
    __atomic_store_n(&chainLock, 0, __ATOMIC_RELEASE);
}

void link(NativeHeap* heap, BlockHeader* header) {
    lockChains();
    header->previous = &heap->head;
    header->next = heap->head.next;
    heap->head.next->previous = header;
    heap->head.next = header;
    unlockChains();
}

void unlink(BlockHeader* header) {
    lockChains();
    header->previous->next = header->next;
    header->next->previous = header->previous;
    unlockChains();
}

}  // namespace

HeapHandle processHeap = &processHeapRecord;

// Tests make the process heap fail after this many more allocations; negative: never.
static i64 processHeapFailureCountdown = -1;

void failProcessHeapAfter(i64 allocations) {
    processHeapFailureCountdown = allocations;
}

static bool injectedFailure(HeapHandle heap) {
    if (heap != processHeap || processHeapFailureCountdown < 0)
        return false;
    if (processHeapFailureCountdown == 0)
        return true;
    --processHeapFailureCountdown;
    return false;
}

void* heapAllocate(HeapHandle heap, u64 size) {
    if (size > UINT64_MAX - sizeof(BlockHeader) || injectedFailure(heap))
        return nullptr;
    BlockHeader* header = static_cast<BlockHeader*>(malloc(sizeof(BlockHeader) + size));
    if (!header)
        return nullptr;
    link(static_cast<NativeHeap*>(heap), header);
    return header + 1;
}

void* heapReallocate(HeapHandle heap, void* block, u64 size) {
    if (size > UINT64_MAX - sizeof(BlockHeader))
        return nullptr;
    BlockHeader* header = headerOf(block);
    unlink(header);
    BlockHeader* grown = static_cast<BlockHeader*>(realloc(header, sizeof(BlockHeader) + size));
    if (!grown) {
        link(static_cast<NativeHeap*>(heap), header);
        return nullptr;
    }
    link(static_cast<NativeHeap*>(heap), grown);
    return grown + 1;
}

void heapFree(HeapHandle, void* block) {
    if (!block)
        return;
    BlockHeader* header = headerOf(block);
    unlink(header);
    free(header);
}

LoadHeap createLoadHeap() {
    NativeHeap* heap = static_cast<NativeHeap*>(malloc(sizeof(NativeHeap)));
    if (heap)
        heap->head.previous = heap->head.next = &heap->head;
    return heap;
}

void destroyLoadHeap(LoadHeap handle) {
    NativeHeap* heap = static_cast<NativeHeap*>(handle);
    while (heap->head.next != &heap->head) {
        BlockHeader* header = heap->head.next;
        unlink(header);
        free(header);
    }
    free(heap);
}
