// Reading bytes that have gone away.
//
// A read of a mapped view whose file is no longer there raises a hardware exception on the
// reading thread: EXCEPTION_IN_PAGE_ERROR on Windows (with the I/O status that failed), an
// access violation under Wine when the file was cut short from Linux. The program has no C
// runtime and no C++ exceptions, so there is no __try: a vectored handler sees the fault
// first, and when it lies inside the guarded bytes of the faulting thread, resumes that
// thread in landOnFault, which goes back to runUnderGuard's recovery point with
// __builtin_longjmp.
//
// Why this is safe: the guarded reads (detection, the readers, exporter identification,
// vertex preparation) hold no lock and no reference while they touch the bytes, and allocate
// only from their load's own heap, which the load road destroys as a whole afterwards; the
// frames that are skipped own nothing else. Any other fault, and a fault of the same thread
// outside the bytes, goes on to the system as before.
#include <windows.h>

#include "stl/read_guard_win.h"

extern "C" __declspec(dllimport) ULONG WINAPI RtlNtStatusToDosError(LONG status);

namespace {

// The guard of the faulting thread, in a TLS slot made with the handler on first use.
volatile u32 guardSetup;  // 0 not yet, 1 being made, 2 made
DWORD guardSlot = TLS_OUT_OF_INDEXES;

[[noreturn]] __attribute__((noinline)) void landOnFault(ReadGuard* guard) {
    __builtin_longjmp(guard->recovery, 1);
}

LONG CALLBACK onReadFault(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    DWORD code = record->ExceptionCode;
    if ((code != EXCEPTION_IN_PAGE_ERROR && code != EXCEPTION_ACCESS_VIOLATION) || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    ReadGuard* guard = static_cast<ReadGuard*>(TlsGetValue(guardSlot));
    const u8* address = reinterpret_cast<const u8*>(record->ExceptionInformation[1]);
    if (!guard || address < guard->first || address >= guard->end)
        return EXCEPTION_CONTINUE_SEARCH;
    // The I/O status of an in-page error names the cause (a network name deleted, a device
    // not connected); a file cut short has none, and is a file no longer valid.
    u32 error = ERROR_FILE_INVALID;
    if (code == EXCEPTION_IN_PAGE_ERROR && record->NumberParameters >= 3) {
        ULONG converted = RtlNtStatusToDosError(LONG(record->ExceptionInformation[2]));
        if (converted != 0 && converted != ERROR_MR_MID_NOT_FOUND)
            error = converted;
    }
    guard->error = error;
    // Resume as if landOnFault had been called from the faulting frame: the stack below it
    // is the dispatcher's and dead once the thread continues; 32 bytes of home space and a
    // return address slot keep the call convention's layout.
    CONTEXT* context = pointers->ContextRecord;
    context->Rsp = ((context->Rsp - 256) & ~DWORD64(15)) - 40;
    context->Rcx = reinterpret_cast<DWORD64>(guard);
    context->Rip = reinterpret_cast<DWORD64>(&landOnFault);
    return EXCEPTION_CONTINUE_EXECUTION;
}

bool setUpGuards() {
    u32 expected = 0;
    if (__atomic_compare_exchange_n(&guardSetup, &expected, 1u, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        guardSlot = TlsAlloc();
        if (guardSlot != TLS_OUT_OF_INDEXES && !AddVectoredExceptionHandler(1, onReadFault)) {
            TlsFree(guardSlot);
            guardSlot = TLS_OUT_OF_INDEXES;
        }
        __atomic_store_n(&guardSetup, 2u, __ATOMIC_RELEASE);
    }
    while (__atomic_load_n(&guardSetup, __ATOMIC_ACQUIRE) != 2)
        YieldProcessor();
    return guardSlot != TLS_OUT_OF_INDEXES;
}

}  // namespace

ReadGuard* currentReadGuard() {
    if (__atomic_load_n(&guardSetup, __ATOMIC_ACQUIRE) != 2 || guardSlot == TLS_OUT_OF_INDEXES)
        return nullptr;
    return static_cast<ReadGuard*>(TlsGetValue(guardSlot));
}

// Kept out of line: __builtin_setjmp makes its caller save every register it may need after
// the jump. A worker started under the guard is waited for before the fault goes back, so
// that nothing writes into the heap the caller is about to destroy.
__attribute__((noinline)) bool runUnderGuard(ReadGuard* guard, bool (*read)(void*), void* context) {
    if (__builtin_setjmp(guard->recovery)) {
        TlsSetValue(guardSlot, nullptr);
        if (guard->worker)
            joinWorkerThread(guard->worker);
        guard->worker = nullptr;
        return false;
    }
    TlsSetValue(guardSlot, guard);
    bool answer = read(context);
    TlsSetValue(guardSlot, nullptr);
    return answer;
}

bool runGuardedRead(const u8* first, u64 size, const ReportSink* sink, bool (*read)(void* context), void* context) {
    // Without the handler (no TLS slot left) the reads go ahead unguarded.
    if (!first || !setUpGuards())
        return read(context);
    ReadGuard guard = {};
    guard.first = first;
    guard.end = first + size;
    if (runUnderGuard(&guard, read, context))
        return true;
    if (guard.error && sink)
        report(sink, kSystemError, guard.error);
    return false;
}
