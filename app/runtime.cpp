// What the C runtime would have provided to an executable that links without it: the
// initialiser table's bounds and walker, and the four memory routines that GCC emits
// calls to. Only executables with their own entry point link this file.
#include "app/runtime.h"

#include "diag/base.h"

typedef void (*Initialiser)();

// GNU ld lays the .CRT$X?? sections out in name order, so these markers bracket every
// initialiser placed in .CRT$XIB..XIY and .CRT$XCB..XCY by the other objects.
__attribute__((section(".CRT$XIA"), used)) static const Initialiser firstCInitialiser = nullptr;
__attribute__((section(".CRT$XIZ"), used)) static const Initialiser lastCInitialiser = nullptr;
__attribute__((section(".CRT$XCA"), used)) static const Initialiser firstCxxInitialiser = nullptr;
__attribute__((section(".CRT$XCZ"), used)) static const Initialiser lastCxxInitialiser = nullptr;

static void runRange(const Initialiser* first, const Initialiser* last) {
    // The bounds are read through volatile pointers: the compiler may not reason from the
    // markers being separate objects that the walk never passes between them.
    for (const Initialiser* volatile slot = first + 1; slot < last; ++slot) {
        if (*slot)
            (*slot)();
    }
}

void runStaticInitialisers() {
    runRange(&firstCInitialiser, &lastCInitialiser);
    runRange(&firstCxxInitialiser, &lastCxxInitialiser);
}

// Floating point is used without the runtime's own symbol for it.
extern "C" {
int _fltused = 0;
}

// String instructions: as fast as unrolled loops on processors with fast rep movsb (every
// x86-64 of the last decade), and the compiler cannot turn them back into calls to the
// functions they implement. memmove and memcmp stay loops; the build compiles this file
// with loop-to-call recognition off.
extern "C" void* memset(void* destination, int value, size_t size) {
    void* out = destination;
    asm volatile("rep stosb" : "+D"(out), "+c"(size) : "a"(value) : "memory");
    return destination;
}

extern "C" void* memcpy(void* destination, const void* source, size_t size) {
    void* out = destination;
    asm volatile("rep movsb" : "+D"(out), "+S"(source), "+c"(size) : : "memory");
    return destination;
}

extern "C" void* memmove(void* destination, const void* source, size_t size) {
    u8* out = static_cast<u8*>(destination);
    const u8* in = static_cast<const u8*>(source);
    if (out < in) {
        while (size--)
            *out++ = *in++;
    } else {
        while (size--)
            out[size] = in[size];
    }
    return destination;
}

extern "C" int memcmp(const void* left, const void* right, size_t size) {
    const u8* a = static_cast<const u8*>(left);
    const u8* b = static_cast<const u8*>(right);
    for (size_t i = 0; i < size; ++i) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}
