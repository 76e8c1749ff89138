// What the files of the shell extension DLL share: the module's handle, its count of live
// objects and locks, and its classes: the thumbnail provider and the preview handler.
#pragma once

#include <windows.h>

#include "diag/report.h"

extern HMODULE shellModule;

// {5B8E2C71-94D3-4F0A-A6E5-3C19D7F40B82}
extern const CLSID kThumbnailProviderClass;
#define VANTOREL_THUMBNAIL_CLASS_TEXT L"{5B8E2C71-94D3-4F0A-A6E5-3C19D7F40B82}"

// {A3C4E6F1-2B7D-4E58-9C0A-71D5B38E6F24}
extern const CLSID kPreviewHandlerClass;
#define VANTOREL_PREVIEW_CLASS_TEXT L"{A3C4E6F1-2B7D-4E58-9C0A-71D5B38E6F24}"

// Every object handed out and every IClassFactory::LockServer(TRUE) holds the module;
// DllCanUnloadNow answers S_OK only when nothing does.
void holdModule();
void releaseModule();

// Keeps the DLL mapped for the life of the process, whatever DllCanUnloadNow answers: the
// load road's guarded reads leave a process-wide exception handler in it, and the window
// classes it registers stay registered after an unload ("No window classes registered by a
// DLL are unregistered when the DLL is unloaded", RegisterClassW on Microsoft Learn).
void pinShellModule();

// A ByteSource's read over an IStream (the context): exactly `length` bytes at `offset`; a
// short or failed read is the stream's failure, reported with its HRESULT.
bool readStream(void* stream, u64 offset, u8* out, u64 length, const ReportSink* sink);

// A new thumbnail provider's interface `interfaceId`, with one reference.
HRESULT createThumbnailProvider(REFIID interfaceId, void** out);
// A new preview handler's interface `interfaceId`, with one reference.
HRESULT createPreviewHandler(REFIID interfaceId, void** out);
