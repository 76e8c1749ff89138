#include <windows.h>

#include "app/runtime.h"
#include "stl/heap.h"

extern "C" void nocrtEntry() {
    runStaticInitialisers();
    ExitProcess(processHeap && processHeap == GetProcessHeap() ? 0 : 1);
}
