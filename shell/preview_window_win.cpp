#define CINTERFACE
#define COBJMACROS
#include "shell/preview_window_win.h"

#include "app/settings_store_win.h"
#include "diag/messages.h"
#include "format/mesh_text.h"
#include "render/frame_win.h"
#include "render/load_gpu_win.h"
#include "render/view_gpu_win.h"
#include "shell/shell_module_win.h"
#include "shell/thumbnail_picture_win.h"

namespace {

const wchar_t kPreviewClassName[] = L"VantorelPreview";

// Posted by a load to its window, with the load in lParam: a model to show (wParam 0 for
// the first, 1 for the whole file after its sample), the mesh check's end, the load's end.
enum : UINT { kPreviewShown = WM_APP + 1, kPreviewChecked, kPreviewEnded };
enum : u32 { kLineUnits = 64 + kDimensionsTextUnits + kMeshTextUnits + 512 };
enum : int { kLinePadding = 3 };
// The whole file is read in parts, so that a pane closed meanwhile stops the read early.
const u64 kWholeReadPart = 16u << 20;
const Utf16 kSeparator[] = u" \u00B7 ";

// One reading of the stream. The window and the worker each hold a reference; the window
// lets go when it closes or starts another, without waiting for the worker.
struct PreviewLoad {
    volatile LONG references;
    HWND window;
    HWND view;
    IStream* marshalled;  // the stream for the worker's apartment, taken by the worker
    u32 side;             // the pane's larger side, which the sample is widened for
    volatile u8 cancel;
    bool sampled;
    // The sample (or a small file whole), read on the window's thread, where the stream
    // needs no proxy; the worker loads it and lets the heap go. No heap: nothing was read.
    u64 size;  // the stream's
    LoadHeap sampleHeap;
    StlSample sample;
    ReportSink translator;
    ReportSink collector;
    volatile u32 messageLock;
    MessageText messages;  // under messageLock
    // The first model shown (a sample, or the whole file), then the whole file after a
    // sample. Each belongs to the worker until the message that shows it.
    LoadedFile files[2];
    GpuMesh* meshes[2];
    bool checked;
    MeshCheck check;
};

struct PreviewWindow {
    HWND window;
    HWND view;
    HWND line;
    IStream* stream;    // one reference: the file is read again after a lost GPU
    PreviewLoad* load;  // the current load, the window's reference
    u32 shown;          // how many of the load's models have come; 0 while none
    PreviewLook look;
    HFONT font;         // from look.font; null for the default GUI font
    HBRUSH brush;       // the background
    f32 clearColour[4];
    u32 textUnits;      // the line's text before its mesh check
    Utf16 text[kLineUnits];
};

struct CreateParameters {
    IStream* stream;
    const PreviewLook* look;
};

void releaseLoad(PreviewLoad* load) {
    if (InterlockedDecrement(&load->references) != 0)
        return;
    for (u32 i = 0; i < 2; ++i) {
        if (load->meshes[i])
            releaseVertexBuffer(load->meshes[i]);
        releaseLoadedFile(&load->files[i]);
    }
    if (load->sampleHeap)
        destroyLoadHeap(load->sampleHeap);
    releaseMessageText(&load->messages);
    deallocate(load);
}

bool collectReport(void* context, ResultCode code, uptr argument, const Utf16*) {
    PreviewLoad* load = static_cast<PreviewLoad*>(context);
    if (code == kUtf16Text) {
        acquireSpinLock(&load->messageLock);
        appendMessageLine(&load->messages, reinterpret_cast<const Utf16*>(argument));
        releaseSpinLock(&load->messageLock);
    }
    return load->cancel == 0;
}

bool answerCheck(void* context, ResultCode, uptr, const Utf16*) {
    return static_cast<PreviewLoad*>(context)->cancel == 0;
}

bool fitsOneBuffer(void* sink, const LoadResult* result) {
    return fitsOneVertexBuffer(result, static_cast<const ReportSink*>(sink));
}

// Uploads a loaded model to the view's device (the process's shared one) and tells the window.
bool showModel(PreviewLoad* load, u32 stage) {
    const ReportSink* sink = &load->translator;
    ViewState* state = retainViewState(load->view);
    if (!state)
        return false;
    Renderer shared = {};
    SRWLOCK* contextLock;
    bool ready = shareThumbnailDevice(&shared, &contextLock, sink) && adoptRenderer(state, &shared, contextLock, sink);
    releaseSharedRenderer(&shared);
    LoadedFile* file = &load->files[stage];
    GpuMesh* mesh = uploadToViewDevice(state, ready, file, sink);
    if (!mesh)
        return false;
    mesh->colour = objectColour(statedMaterialColour(&file->result), &file->result, readDefaultObjectColour());
    load->meshes[stage] = mesh;
    return PostMessageW(load->window, kPreviewShown, stage, reinterpret_cast<LPARAM>(load)) != FALSE;
}

// Reads the whole stream into memory in large parts: each read of a stream from another
// apartment is a call into that apartment's thread. Null when memory is short or a read
// failed (both reported); the bytes are released with VirtualFree.
u8* readWholeStream(PreviewLoad* load, const ByteSource* stream) {
    u8* bytes = static_cast<u8*>(VirtualAlloc(nullptr, stream->size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!bytes) {
        report(&load->translator, kOutOfMemory);
        return nullptr;
    }
    bool ok = true;
    for (u64 at = 0; ok && at < stream->size; at += kWholeReadPart) {
        u64 length = stream->size - at < kWholeReadPart ? stream->size - at : kWholeReadPart;
        ok = load->cancel == 0 && stream->read(stream->context, at, bytes + at, length, &load->translator);
    }
    if (!ok) {
        VirtualFree(bytes, 0, MEM_RELEASE);
        bytes = nullptr;
    }
    return bytes;
}

// The first model (the sample of a large file, or the whole of a small one) on screen, then
// the whole of a large file, then the mesh check of the whole.
void readPreview(PreviewLoad* load, IStream* stream) {
    const ReportSink* sink = &load->translator;
    if (!load->sampleHeap)
        return;  // its messages say why
    LoadHeap sampleHeap = load->sampleHeap;
    load->sampleHeap = nullptr;
    load->sampled = load->sample.sampled;
    if (!loadSample(&load->files[0], &load->sample, sampleHeap, load->side, sink) || !showModel(load, 0))
        return;
    LoadedFile* file = &load->files[0];
    if (load->sampled) {
        const ByteSource source = {stream, readStream, load->size};
        u8* bytes = readWholeStream(load, &source);
        const LoadRoadHooks hooks = {const_cast<ReportSink*>(sink), nullptr, fitsOneBuffer};
        bool shown = bytes && runLoadRoad(&load->files[1], bytes, source.size, sink, &hooks) && showModel(load, 1);
        if (bytes)
            VirtualFree(bytes, 0, MEM_RELEASE);
        if (!shown)
            return;
        file = &load->files[1];
    }
    // The check reads the vertex array the upload left; nothing else needs it.
    ReportSink checkSink = {load, answerCheck};
    load->checked = checkMesh(&file->vertices, decimalUnit(file->result.provenance.metresPerUnit), &checkSink,
                              &load->check);
    heapFree(file->heap, file->vertices.vertices);
    file->vertices.vertices = nullptr;
    PostMessageW(load->window, kPreviewChecked, 0, reinterpret_cast<LPARAM>(load));
}

// The stream was handed over marshalled: Explorer's may live in the host's single-threaded
// apartment, whose objects other threads reach only through a proxy
// (CoMarshalInterThreadInterfaceInStream on Microsoft Learn).
DWORD WINAPI runPreviewLoad(void* context) {
    PreviewLoad* load = static_cast<PreviewLoad*>(context);
    HRESULT apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IStream* stream = nullptr;
    HRESULT result = CoGetInterfaceAndReleaseStream(reinterpret_cast<IStream*>(load->marshalled), IID_IStream,
                                                    reinterpret_cast<void**>(&stream));
    load->marshalled = nullptr;
    if (SUCCEEDED(result)) {
        readPreview(load, stream);
        IStream_Release(stream);
    } else {
        report(&load->translator, kSystemError, uptr(result));
    }
    if (SUCCEEDED(apartment))
        CoUninitialize();
    PostMessageW(load->window, kPreviewEnded, 0, reinterpret_cast<LPARAM>(load));
    releaseLoad(load);
    return 0;
}

PreviewWindow* previewOf(HWND window) {
    return reinterpret_cast<PreviewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void stopLoad(PreviewWindow* preview) {
    PreviewLoad* load = preview->load;
    if (!load)
        return;
    load->cancel = 1;
    detachMesh(preview->view);  // before the load's meshes go
    preview->load = nullptr;
    preview->shown = 0;
    releaseLoad(load);
}

void setLine(PreviewWindow* preview, Utf16* end) {
    *end = 0;
    SetWindowTextW(preview->line, reinterpret_cast<const wchar_t*>(preview->text));
}

Utf16* append(Utf16* at, const Utf16* text, const Utf16* end) {
    while (*text && at < end)
        *at++ = *text++;
    return at;
}

void startLoad(PreviewWindow* preview) {
    stopLoad(preview);
    preview->textUnits = 0;
    setLine(preview, preview->text);
    PreviewLoad* load = static_cast<PreviewLoad*>(allocate(sizeof(PreviewLoad)));
    if (!load)
        return;
    *load = PreviewLoad{};
    load->references = 2;
    load->window = preview->window;
    load->view = preview->view;
    RECT client;
    GetClientRect(preview->window, &client);
    load->side = u32(client.right > client.bottom ? client.right : client.bottom);
    load->collector = ReportSink{load, collectReport};
    load->translator = makeMessageTranslator(&load->collector);
    // A sample is a few thousand small reads: here, in the stream's own apartment, each is a
    // plain call; through the worker's proxy each would be a call into this thread ("Within
    // an apartment, interface pointers can be passed without marshaling": Single-Threaded
    // Apartments on Microsoft Learn).
    STATSTG status = {};
    HRESULT result = IStream_Stat(preview->stream, &status, STATFLAG_NONAME);
    load->size = status.cbSize.QuadPart;
    const ByteSource source = {preview->stream, readStream, load->size};
    load->sampleHeap = SUCCEEDED(result) ? createLoadHeap() : nullptr;
    if (FAILED(result))
        report(&load->translator, kSystemError, uptr(result));
    if (load->sampleHeap && !readSampleForPicture(&source, load->sampleHeap, &load->translator, &load->sample)) {
        destroyLoadHeap(load->sampleHeap);
        load->sampleHeap = nullptr;
    }
    IStream* marshalled = nullptr;
    if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_IStream, reinterpret_cast<IUnknown*>(preview->stream),
                                                     &marshalled))) {
        releaseLoad(load);
        releaseLoad(load);
        return;
    }
    load->marshalled = marshalled;
    if (!QueueUserWorkItem(runPreviewLoad, load, WT_EXECUTELONGFUNCTION)) {
        IStream* back = nullptr;
        if (SUCCEEDED(CoGetInterfaceAndReleaseStream(marshalled, IID_IStream, reinterpret_cast<void**>(&back))))
            IStream_Release(back);
        releaseLoad(load);
        releaseLoad(load);
        return;
    }
    preview->load = load;
}

void onShown(PreviewWindow* preview, u32 stage, PreviewLoad* load) {
    if (load != preview->load)
        return;
    LoadedFile* file = &load->files[stage];
    GpuMesh* mesh = load->meshes[stage];
    bool yUp = file->result.provenance.coordinateSpace == kSpaceYUp;
    viewStateOf(preview->view)->yUp = yUp;
    handOverMesh(preview->view, mesh);
    ShowWindow(preview->view, SW_SHOWNA);
    if (stage == 1) {
        releaseVertexBuffer(load->meshes[0]);
        load->meshes[0] = nullptr;
        releaseLoadedFile(&load->files[0]);
    }
    preview->shown = stage + 1;
    Utf16* end = preview->text + kLineUnits - 1;
    Utf16* at = append(preview->text, file->result.format == kFormatAscii ? u"ASCII STL" : u"Binary STL", end);
    at = writeDimensionsText(mesh->size, yUp, append(at, kSeparator, end));
    preview->textUnits = u32(at - preview->text);
    if (load->sampled && stage == 0)
        at = append(append(at, kSeparator, end), u"loading the whole file\u2026", end);
    setLine(preview, at);
}

void onChecked(PreviewWindow* preview, PreviewLoad* load) {
    if (load != preview->load || preview->shown == 0)
        return;
    Utf16* end = preview->text + kLineUnits - 1;
    Utf16* at = append(append(preview->text + preview->textUnits, kSeparator, end), u"mesh: ", end);
    if (load->checked)
        at = writeMeshText(&load->check, load->meshes[preview->shown - 1]->size, at);
    else
        at = append(at, u"not checked", end);
    setLine(preview, at);
}

// A load that showed nothing shows its messages, as the viewer's message box would, beside
// the view's placeholder; one whose whole file failed after its sample keeps the sample and
// adds them.
void onEnded(PreviewWindow* preview, PreviewLoad* load) {
    if (load != preview->load || (preview->shown != 0 && !(load->sampled && preview->shown == 1)))
        return;
    Utf16* end = preview->text + kLineUnits - 1;
    Utf16* at = preview->text + (preview->shown ? preview->textUnits : 0);
    if (preview->shown)
        at = append(at, kSeparator, end);
    acquireSpinLock(&load->messageLock);
    Utf16* from = at;
    if (load->messages.bytes)
        at = append(at, load->messages.text, end);
    releaseSpinLock(&load->messageLock);
    if (at == from)
        at = append(at, preview->shown ? u"not read" : u"format: not STL", end);
    for (Utf16* c = from; c < at; ++c)
        *c = *c == u'\r' || *c == u'\n' ? u' ' : *c;
    while (at > from && at[-1] == u' ')
        --at;
    setLine(preview, at);
    ShowWindow(preview->view, SW_SHOWNA);
    InvalidateRect(preview->view, nullptr, FALSE);
}

void layout(PreviewWindow* preview) {
    RECT client;
    GetClientRect(preview->window, &client);
    HDC dc = GetDC(preview->line);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(preview->line, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(preview->line, dc);
    int lineHeight = metrics.tmHeight + 2 * kLinePadding;
    int viewHeight = client.bottom > lineHeight ? client.bottom - lineHeight : 0;
    MoveWindow(preview->view, 0, 0, client.right, viewHeight, TRUE);
    MoveWindow(preview->line, kLinePadding, viewHeight + kLinePadding, client.right - 2 * kLinePadding,
               metrics.tmHeight, TRUE);
}

void applyLook(PreviewWindow* preview, const PreviewLook* look) {
    preview->look = *look;
    COLORREF background = look->hasBackground ? look->background : GetSysColor(COLOR_WINDOW);
    if (preview->brush)
        DeleteObject(preview->brush);
    preview->brush = CreateSolidBrush(background);
    HFONT font = look->hasFont ? CreateFontIndirectW(&look->font) : nullptr;
    SendMessageW(preview->line, WM_SETFONT,
                 reinterpret_cast<WPARAM>(font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))), FALSE);
    if (preview->font)
        DeleteObject(preview->font);
    preview->font = font;
    // The host's colour is sRGB; the view's target turns linear values back into it.
    preview->clearColour[0] = srgbToLinear[GetRValue(background)];
    preview->clearColour[1] = srgbToLinear[GetGValue(background)];
    preview->clearColour[2] = srgbToLinear[GetBValue(background)];
    preview->clearColour[3] = 1.0f;
    viewStateOf(preview->view)->background = look->hasBackground ? preview->clearColour : nullptr;
    layout(preview);
    InvalidateRect(preview->window, nullptr, TRUE);
    InvalidateRect(preview->view, nullptr, FALSE);
}

LRESULT onCreate(HWND window, const CREATESTRUCTW* create) {
    const CreateParameters* parameters = static_cast<const CreateParameters*>(create->lpCreateParams);
    PreviewWindow* preview = static_cast<PreviewWindow*>(allocate(sizeof(PreviewWindow)));
    if (!preview)
        return -1;
    *preview = PreviewWindow{};
    preview->window = window;
    // Hidden until a load ends: before its first frame the view would show the placeholder
    // of a failed load; the pane's background shows meanwhile, as the viewer's progress does.
    preview->view = CreateWindowExW(0, kViewClassName, L"", WS_CHILD | WS_TABSTOP, 0, 0, create->cx,
                                    create->cy, window, reinterpret_cast<HMENU>(1), shellModule, nullptr);
    preview->line = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, 0,
                                    0, 0, window, reinterpret_cast<HMENU>(2), shellModule, nullptr);
    if (!preview->view || !preview->line) {
        deallocate(preview);
        return -1;
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(preview));
    preview->stream = parameters->stream;
    IStream_AddRef(preview->stream);
    applyLook(preview, parameters->look);
    startLoad(preview);
    return 0;
}

void onDestroy(PreviewWindow* preview) {
    stopLoad(preview);
    IStream_Release(preview->stream);
    if (preview->font)
        DeleteObject(preview->font);
    DeleteObject(preview->brush);
}

LRESULT CALLBACK previewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE)
        return onCreate(window, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    PreviewWindow* preview = previewOf(window);
    if (!preview)
        return DefWindowProcW(window, message, wParam, lParam);
    PreviewLoad* load = reinterpret_cast<PreviewLoad*>(lParam);
    switch (message) {
    case WM_DESTROY:
        onDestroy(preview);
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        deallocate(preview);
        break;
    case WM_SIZE:
        layout(preview);
        return 0;
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, preview->brush);
        return 1;
    }
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, preview->look.hasText ? preview->look.text : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, preview->look.hasBackground ? preview->look.background : GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(preview->brush);
    }
    case WM_NEXTDLGCTL:  // the view asks for the focus when clicked
        SetFocus(preview->view);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == kViewGpuLost && preview->load)
            startLoad(preview);
        return 0;
    case kPreviewShown:
        onShown(preview, u32(wParam), load);
        return 0;
    case kPreviewChecked:
        onChecked(preview, load);
        return 0;
    case kPreviewEnded:
        onEnded(preview, load);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool registerClasses() {
    pinShellModule();
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = previewWindowProc;
    windowClass.hInstance = shellModule;
    windowClass.lpszClassName = kPreviewClassName;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    bool ok = RegisterClassW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return ok && (registerViewClass(shellModule) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
}

}  // namespace

HWND createPreviewWindow(HWND parent, const RECT* area, IStream* stream, const PreviewLook* look) {
    if (!registerClasses())
        return nullptr;
    CreateParameters parameters = {stream, look};
    return CreateWindowExW(0, kPreviewClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, area->left, area->top,
                           area->right - area->left, area->bottom - area->top, parent, nullptr, shellModule,
                           &parameters);
}

void restylePreviewWindow(HWND window, const PreviewLook* look) {
    if (PreviewWindow* preview = previewOf(window))
        applyLook(preview, look);
}

HWND previewView(HWND window) {
    PreviewWindow* preview = previewOf(window);
    return preview ? preview->view : nullptr;
}
