// The thumbnail provider: IThumbnailProvider and IInitializeWithStream on one record.
// Explorer runs providers in an isolated process and hands them the file as a stream, never
// a path (https://learn.microsoft.com/windows/win32/shell/thumbnail-providers).
#define CINTERFACE
#define COBJMACROS
#include <shlwapi.h>
#include <propsys.h>
#include <thumbcache.h>

#include "shell/com_record_win.h"
#include "shell/shell_module_win.h"
#include "shell/thumbnail_picture_win.h"

namespace {

// IThumbnailProvider's id, which the toolchain's uuid library lacks.
const IID kThumbnailProviderInterface = {0xe357fccd, 0xa995, 0x4576, {0xb0, 0x1f, 0x23, 0x46, 0x30, 0x15, 0x4e, 0x96}};

struct ThumbnailProvider {
    const IThumbnailProviderVtbl* thumbnailVtable;  // first: the record is its IUnknown
    const IInitializeWithStreamVtbl* initializeVtable;
    volatile LONG references;
    IStream* stream;  // one reference from Initialize, released with the record
};

ThumbnailProvider* fromThumbnail(IThumbnailProvider* self) {
    return recordOf<ThumbnailProvider, IThumbnailProvider, offsetof(ThumbnailProvider, thumbnailVtable)>(self);
}

ThumbnailProvider* fromInitialize(IInitializeWithStream* self) {
    return recordOf<ThumbnailProvider, IInitializeWithStream, offsetof(ThumbnailProvider, initializeVtable)>(self);
}

HRESULT STDMETHODCALLTYPE queryInterface(ThumbnailProvider* provider, REFIID id, void** out) {
    static const QITAB table[] = {
        {&kThumbnailProviderInterface, int(offsetof(ThumbnailProvider, thumbnailVtable))},
        {&IID_IInitializeWithStream, int(offsetof(ThumbnailProvider, initializeVtable))},
        {nullptr, 0},
    };
    return QISearch(provider, table, id, out);
}

ULONG releaseRecord(ThumbnailProvider* provider) {
    LONG left = InterlockedDecrement(&provider->references);
    if (left == 0) {
        if (provider->stream)
            IStream_Release(provider->stream);
        deallocate(provider);
        releaseModule();
    }
    return ULONG(left);
}

// One stream per provider: Explorer makes a provider per file.
HRESULT STDMETHODCALLTYPE initialize(IInitializeWithStream* self, IStream* stream, DWORD) {
    ThumbnailProvider* provider = fromInitialize(self);
    if (!stream)
        return E_INVALIDARG;
    if (provider->stream)
        return E_UNEXPECTED;
    IStream_AddRef(stream);
    provider->stream = stream;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE getThumbnail(IThumbnailProvider* self, UINT side, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) {
    ThumbnailProvider* provider = fromThumbnail(self);
    if (!bitmap || !alpha)
        return E_POINTER;
    *bitmap = nullptr;
    *alpha = WTSAT_UNKNOWN;
    if (!provider->stream)
        return E_UNEXPECTED;
    if (side == 0 || side > kMaxThumbnailSide)
        return E_INVALIDARG;
    STATSTG status = {};
    HRESULT result = IStream_Stat(provider->stream, &status, STATFLAG_NONAME);
    if (FAILED(result))
        return result;
    ByteSource source = {provider->stream, readStream, status.cbSize.QuadPart};
    SampleBudget budget = pictureBudget();
    *bitmap = drawThumbnail(&source, side, &budget, nullptr);
    if (!*bitmap)
        return E_FAIL;
    *alpha = WTSAT_ARGB;
    return S_OK;
}

const IThumbnailProviderVtbl thumbnailVtable = {
    RECORD_UNKNOWN_METHODS(ThumbnailProvider, IThumbnailProvider, thumbnailVtable), getThumbnail};
const IInitializeWithStreamVtbl initializeVtable = {
    RECORD_UNKNOWN_METHODS(ThumbnailProvider, IInitializeWithStream, initializeVtable), initialize};

}  // namespace

HRESULT createThumbnailProvider(REFIID id, void** out) {
    ThumbnailProvider* provider = static_cast<ThumbnailProvider*>(allocate(sizeof(ThumbnailProvider)));
    if (!provider)
        return E_OUTOFMEMORY;
    provider->thumbnailVtable = &thumbnailVtable;
    provider->initializeVtable = &initializeVtable;
    provider->references = 1;
    provider->stream = nullptr;
    holdModule();
    HRESULT result = queryInterface(provider, id, out);
    releaseRecord(provider);
    return result;
}
