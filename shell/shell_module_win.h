// What the files of the shell extension DLL share: the module's handle, its count of live
// objects and locks, and the thumbnail provider's class.
#pragma once

#include <windows.h>

extern HMODULE shellModule;

// {5B8E2C71-94D3-4F0A-A6E5-3C19D7F40B82}
extern const CLSID kThumbnailProviderClass;
#define VANTOREL_THUMBNAIL_CLASS_TEXT L"{5B8E2C71-94D3-4F0A-A6E5-3C19D7F40B82}"

// Every object handed out and every IClassFactory::LockServer(TRUE) holds the module;
// DllCanUnloadNow answers S_OK only when nothing does.
void holdModule();
void releaseModule();

// A new thumbnail provider's interface `interfaceId`, with one reference.
HRESULT createThumbnailProvider(REFIID interfaceId, void** out);
