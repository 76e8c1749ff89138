#include <windows.h>

#include "stl/heap.h"

HeapHandle processHeap;

static void storeProcessHeap() {
    processHeap = GetProcessHeap();
}

// The program has no runtime to run constructors, so the process heap is stored by a
// routine in the initialiser table that the entry point walks (the C runtime, where one
// is linked, walks the same table). The used attribute keeps the linker from dropping it.
__attribute__((section(".CRT$XCU"), used)) static void (*const storeProcessHeapEntry)() = storeProcessHeap;

// SIZE_T is 64 bits on x64, so every u64 size reaches the system whole.
void* heapAllocate(HeapHandle heap, u64 size) {
    return HeapAlloc(heap, 0, size);
}

void* heapReallocate(HeapHandle heap, void* block, u64 size) {
    return HeapReAlloc(heap, 0, block, size);
}

void heapFree(HeapHandle heap, void* block) {
    HeapFree(heap, 0, block);
}

LoadHeap createLoadHeap() {
    return HeapCreate(0, 0, 0);
}

void destroyLoadHeap(LoadHeap heap) {
    HeapDestroy(heap);
}
