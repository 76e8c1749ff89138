#include <windows.h>

#include "app/runtime.h"
#include "stl/heap.h"

// GNU ld gathers the constructors of dynamically initialised globals here, a list that
// only the C runtime walks: product code must have none, or they would never run.
extern "C" void (*__CTOR_LIST__[])();

extern "C" void nocrtEntry() {
    runStaticInitialisers();
    if (!processHeap || processHeap != GetProcessHeap())
        ExitProcess(1);
    ExitProcess(__CTOR_LIST__[1] ? 2 : 0);
}
