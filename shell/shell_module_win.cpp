// What the shell extension's files and its benchmarks share beside the COM server: reads
// over a stream, and the module kept mapped.
#define CINTERFACE
#define COBJMACROS
#include "shell/shell_module_win.h"

#include <objidl.h>

// A read of exactly `length` bytes at `offset`; a short or failed one is the stream's
// failure, reported with its HRESULT.
bool readStream(void* context, u64 offset, u8* out, u64 length, const ReportSink* sink) {
    IStream* stream = static_cast<IStream*>(context);
    LARGE_INTEGER position;
    position.QuadPart = LONGLONG(offset);
    HRESULT result = IStream_Seek(stream, position, STREAM_SEEK_SET, nullptr);
    while (SUCCEEDED(result) && length != 0) {
        ULONG want = length < 0x40000000u ? ULONG(length) : 0x40000000u;
        ULONG got = 0;
        result = IStream_Read(stream, out, want, &got);
        if (SUCCEEDED(result) && got == 0)
            result = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
        out += got;
        length -= got < length ? got : length;
    }
    if (FAILED(result))
        report(sink, kSystemError, uptr(result));
    return SUCCEEDED(result);
}

void pinShellModule() {
    static volatile LONG pinned;
    HMODULE self;
    if (InterlockedExchange(&pinned, 1) == 0)
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&pinShellModule), &self);
}
