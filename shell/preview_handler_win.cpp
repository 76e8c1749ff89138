// The preview handler: IPreviewHandler, IInitializeWithStream, IObjectWithSite, IOleWindow and
// IPreviewHandlerVisuals on one record. The host (prevhost.exe for Explorer) initialises it
// with the file's stream, gives it a window and a rectangle, and calls DoPreview; Unload
// lets go of everything the item brought, after which the same object may be initialised
// again (https://learn.microsoft.com/windows/win32/shell/preview-handlers and
// https://learn.microsoft.com/windows/win32/api/shobjidl_core/nn-shobjidl_core-ipreviewhandler).
#define CINTERFACE
#define COBJMACROS
#include <shlwapi.h>
#include <shobjidl.h>

#include "shell/com_record_win.h"
#include "shell/preview_window_win.h"
#include "shell/shell_module_win.h"
#include "stl/heap.h"

namespace {

struct PreviewHandler {
    const IPreviewHandlerVtbl* previewVtable;  // first: the record is its IUnknown
    const IInitializeWithStreamVtbl* initializeVtable;
    const IObjectWithSiteVtbl* siteVtable;
    const IOleWindowVtbl* oleWindowVtable;
    const IPreviewHandlerVisualsVtbl* visualsVtable;
    volatile LONG references;
    IStream* stream;               // from Initialize until Unload
    IUnknown* site;                // from SetSite
    IPreviewHandlerFrame* frame;   // the site's, when it has one
    HWND parent;
    RECT area;
    HWND window;                   // from DoPreview until Unload
    PreviewLook look;
};

HRESULT queryInterface(PreviewHandler* handler, REFIID id, void** out) {
    static const QITAB table[] = {
        {&IID_IPreviewHandler, int(offsetof(PreviewHandler, previewVtable))},
        {&IID_IInitializeWithStream, int(offsetof(PreviewHandler, initializeVtable))},
        {&IID_IObjectWithSite, int(offsetof(PreviewHandler, siteVtable))},
        {&IID_IOleWindow, int(offsetof(PreviewHandler, oleWindowVtable))},
        {&IID_IPreviewHandlerVisuals, int(offsetof(PreviewHandler, visualsVtable))},
        {nullptr, 0},
    };
    return QISearch(handler, table, id, out);
}

template <typename Interface>
void releaseInterface(Interface*& object) {
    if (object)
        reinterpret_cast<IUnknown*>(object)->lpVtbl->Release(reinterpret_cast<IUnknown*>(object));
    object = nullptr;
}

// What Unload lets go of: the window (with its load and GPU objects) and the stream.
void unload(PreviewHandler* handler) {
    if (handler->window)
        DestroyWindow(handler->window);
    handler->window = nullptr;
    releaseInterface(handler->stream);
}

ULONG releaseRecord(PreviewHandler* handler) {
    LONG left = InterlockedDecrement(&handler->references);
    if (left == 0) {
        unload(handler);
        releaseInterface(handler->frame);
        releaseInterface(handler->site);
        deallocate(handler);
        releaseModule();
    }
    return ULONG(left);
}

#define UNKNOWN_METHODS(Interface, field) RECORD_UNKNOWN_METHODS(PreviewHandler, Interface, field)

PreviewHandler* fromPreview(IPreviewHandler* self) {
    return recordOf<PreviewHandler, IPreviewHandler, offsetof(PreviewHandler, previewVtable)>(self);
}

// IInitializeWithStream: a new item replaces the last one; a preview shown keeps reading its own.
HRESULT STDMETHODCALLTYPE initialize(IInitializeWithStream* self, IStream* stream, DWORD) {
    PreviewHandler* handler = recordOf<PreviewHandler, IInitializeWithStream, offsetof(PreviewHandler, initializeVtable)>(self);
    if (!stream)
        return E_INVALIDARG;
    IStream_AddRef(stream);
    releaseInterface(handler->stream);
    handler->stream = stream;
    return S_OK;
}

// IPreviewHandler.
HRESULT STDMETHODCALLTYPE setWindow(IPreviewHandler* self, HWND parent, const RECT* area) {
    PreviewHandler* handler = fromPreview(self);
    if (!parent || !area)
        return E_INVALIDARG;
    handler->parent = parent;
    handler->area = *area;
    if (handler->window) {
        SetParent(handler->window, parent);
        SetWindowPos(handler->window, nullptr, area->left, area->top, area->right - area->left,
                     area->bottom - area->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE setRect(IPreviewHandler* self, const RECT* area) {
    PreviewHandler* handler = fromPreview(self);
    if (!area)
        return E_INVALIDARG;
    handler->area = *area;
    if (handler->window)
        SetWindowPos(handler->window, nullptr, area->left, area->top, area->right - area->left,
                     area->bottom - area->top, SWP_NOZORDER | SWP_NOACTIVATE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE doPreview(IPreviewHandler* self) {
    PreviewHandler* handler = fromPreview(self);
    if (handler->window || !handler->stream || !handler->parent)
        return E_UNEXPECTED;
    handler->window = createPreviewWindow(handler->parent, &handler->area, handler->stream, &handler->look);
    return handler->window ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT STDMETHODCALLTYPE unloadPreview(IPreviewHandler* self) {
    unload(fromPreview(self));
    return S_OK;
}

// The pane has one stop for the keyboard, the view, whether the focus comes with Tab or
// Shift+Tab.
HRESULT STDMETHODCALLTYPE setFocus(IPreviewHandler* self) {
    PreviewHandler* handler = fromPreview(self);
    if (!handler->window)
        return S_FALSE;
    ::SetFocus(previewView(handler->window));
    return S_OK;
}

// "If the method fails, the return value is HRESULT_FROM_WIN32(GetLastError())"
// (IPreviewHandler::QueryFocus).
HRESULT STDMETHODCALLTYPE queryFocus(IPreviewHandler*, HWND* focus) {
    if (!focus)
        return E_INVALIDARG;
    *focus = GetFocus();
    return *focus ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

// The view uses no accelerators: every keystroke goes to the frame, which moves the focus
// out of the pane on Tab (IPreviewHandler::TranslateAccelerator).
HRESULT STDMETHODCALLTYPE translateAccelerator(IPreviewHandler* self, MSG* message) {
    PreviewHandler* handler = fromPreview(self);
    return handler->frame ? IPreviewHandlerFrame_TranslateAccelerator(handler->frame, message) : S_FALSE;
}

// IObjectWithSite.
HRESULT STDMETHODCALLTYPE setSite(IObjectWithSite* self, IUnknown* site) {
    PreviewHandler* handler = recordOf<PreviewHandler, IObjectWithSite, offsetof(PreviewHandler, siteVtable)>(self);
    releaseInterface(handler->frame);
    releaseInterface(handler->site);
    handler->site = site;
    if (site) {
        IUnknown_AddRef(site);
        IUnknown_QueryInterface(site, IID_IPreviewHandlerFrame, reinterpret_cast<void**>(&handler->frame));
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE getSite(IObjectWithSite* self, REFIID id, void** out) {
    PreviewHandler* handler = recordOf<PreviewHandler, IObjectWithSite, offsetof(PreviewHandler, siteVtable)>(self);
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return handler->site ? IUnknown_QueryInterface(handler->site, id, out) : E_FAIL;
}

// IOleWindow: the window the host gave.
HRESULT STDMETHODCALLTYPE getWindow(IOleWindow* self, HWND* window) {
    PreviewHandler* handler = recordOf<PreviewHandler, IOleWindow, offsetof(PreviewHandler, oleWindowVtable)>(self);
    if (!window)
        return E_INVALIDARG;
    *window = handler->parent;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE contextSensitiveHelp(IOleWindow*, BOOL) {
    return E_NOTIMPL;
}

// IPreviewHandlerVisuals: the host's colours and font, for the window now or to come.
PreviewHandler* fromVisuals(IPreviewHandlerVisuals* self) {
    return recordOf<PreviewHandler, IPreviewHandlerVisuals, offsetof(PreviewHandler, visualsVtable)>(self);
}

HRESULT restyle(PreviewHandler* handler) {
    if (handler->window)
        restylePreviewWindow(handler->window, &handler->look);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE setBackgroundColour(IPreviewHandlerVisuals* self, COLORREF colour) {
    PreviewHandler* handler = fromVisuals(self);
    handler->look.background = colour;
    handler->look.hasBackground = true;
    return restyle(handler);
}

HRESULT STDMETHODCALLTYPE setTextColour(IPreviewHandlerVisuals* self, COLORREF colour) {
    PreviewHandler* handler = fromVisuals(self);
    handler->look.text = colour;
    handler->look.hasText = true;
    return restyle(handler);
}

HRESULT STDMETHODCALLTYPE setFont(IPreviewHandlerVisuals* self, const LOGFONTW* font) {
    PreviewHandler* handler = fromVisuals(self);
    if (!font)
        return E_INVALIDARG;
    handler->look.font = *font;
    handler->look.hasFont = true;
    return restyle(handler);
}

const IPreviewHandlerVtbl previewVtable = {UNKNOWN_METHODS(IPreviewHandler, previewVtable),
                                           setWindow, setRect, doPreview, unloadPreview, setFocus, queryFocus,
                                           translateAccelerator};
const IInitializeWithStreamVtbl initializeVtable = {UNKNOWN_METHODS(IInitializeWithStream, initializeVtable),
                                                    initialize};
const IObjectWithSiteVtbl siteVtable = {UNKNOWN_METHODS(IObjectWithSite, siteVtable), setSite, getSite};
const IOleWindowVtbl oleWindowVtable = {UNKNOWN_METHODS(IOleWindow, oleWindowVtable), getWindow,
                                        contextSensitiveHelp};
const IPreviewHandlerVisualsVtbl visualsVtable = {UNKNOWN_METHODS(IPreviewHandlerVisuals, visualsVtable),
                                                  setBackgroundColour, setFont, setTextColour};

}  // namespace

HRESULT createPreviewHandler(REFIID id, void** out) {
    PreviewHandler* handler = static_cast<PreviewHandler*>(allocate(sizeof(PreviewHandler)));
    if (!handler)
        return E_OUTOFMEMORY;
    *handler = PreviewHandler{};
    handler->previewVtable = &previewVtable;
    handler->initializeVtable = &initializeVtable;
    handler->siteVtable = &siteVtable;
    handler->oleWindowVtable = &oleWindowVtable;
    handler->visualsVtable = &visualsVtable;
    handler->references = 1;
    holdModule();
    HRESULT result = queryInterface(handler, id, out);
    releaseRecord(handler);
    return result;
}
