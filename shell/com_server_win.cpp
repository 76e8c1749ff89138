// The in-process COM server: the DLL's entry point, its class objects and the exports COM
// calls (https://learn.microsoft.com/windows/win32/com/inprocserver32). Objects are plain
// records whose first field is their vtable, written against the C form of the interfaces.
#define CINTERFACE
#define COBJMACROS
#include "shell/shell_module_win.h"

#include <objidl.h>

#include "app/runtime.h"
#include "shell/thumbnail_picture_win.h"

HMODULE shellModule;

const CLSID kThumbnailProviderClass = {0x5b8e2c71, 0x94d3, 0x4f0a, {0xa6, 0xe5, 0x3c, 0x19, 0xd7, 0xf4, 0x0b, 0x82}};
const CLSID kPreviewHandlerClass = {0xa3c4e6f1, 0x2b7d, 0x4e58, {0x9c, 0x0a, 0x71, 0xd5, 0xb3, 0x8e, 0x6f, 0x24}};

static volatile LONG moduleHolds;

void holdModule() {
    InterlockedIncrement(&moduleHolds);
}

void releaseModule() {
    InterlockedDecrement(&moduleHolds);
}

// A class object is a static record, one per class: its references hold the module like any
// object's, and it makes the objects of its class.
struct ClassObject {
    const IClassFactoryVtbl* vtable;
    HRESULT (*create)(REFIID id, void** out);
};

static HRESULT STDMETHODCALLTYPE factoryQueryInterface(IClassFactory* self, REFIID id, void** out) {
    if (!out)
        return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IClassFactory)) {
        *out = self;
        holdModule();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE factoryAddRef(IClassFactory*) {
    holdModule();
    return 2;
}

static ULONG STDMETHODCALLTYPE factoryRelease(IClassFactory*) {
    releaseModule();
    return 1;
}

static HRESULT STDMETHODCALLTYPE factoryCreateInstance(IClassFactory* self, IUnknown* outer, REFIID id, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    return reinterpret_cast<ClassObject*>(self)->create(id, out);
}

static HRESULT STDMETHODCALLTYPE factoryLockServer(IClassFactory*, BOOL lock) {
    if (lock)
        holdModule();
    else
        releaseModule();
    return S_OK;
}

static const IClassFactoryVtbl factoryVtable = {factoryQueryInterface, factoryAddRef, factoryRelease,
                                                factoryCreateInstance, factoryLockServer};
static ClassObject thumbnailFactory = {&factoryVtable, createThumbnailProvider};
static ClassObject previewFactory = {&factoryVtable, createPreviewHandler};

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID id, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    ClassObject* factory = IsEqualCLSID(classId, kThumbnailProviderClass) ? &thumbnailFactory
                           : IsEqualCLSID(classId, kPreviewHandlerClass)  ? &previewFactory
                                                                           : nullptr;
    if (!factory)
        return CLASS_E_CLASSNOTAVAILABLE;
    return factoryQueryInterface(reinterpret_cast<IClassFactory*>(factory), id, out);
}

// With nothing held, the shared Direct3D device goes before the host may unload the DLL:
// released here, outside the loader lock that DllMain runs under.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    if (moduleHolds != 0)
        return S_FALSE;
    releaseThumbnailDevice();
    return S_OK;
}

// The DLL's entry point, linked without the C runtime: it runs the static initialisers
// (the process heap's handle among them) as the runtime's own entry would.
extern "C" BOOL WINAPI shellEntry(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        shellModule = instance;
        DisableThreadLibraryCalls(instance);
        runStaticInitialisers();
    }
    return TRUE;
}
