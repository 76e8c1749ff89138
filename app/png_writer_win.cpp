#include "app/png_writer_win.h"

#include <windows.h>
#include <wincodec.h>

#include "render/renderer_win.h"

namespace {

// The encoder's steps in order; the first failure ends them.
HRESULT encode(IWICImagingFactory* factory, const wchar_t* path, const u8* bgr, u32 width, u32 height) {
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    HRESULT result = factory->CreateStream(&stream);
    if (SUCCEEDED(result))
        result = stream->InitializeFromFilename(path, GENERIC_WRITE);
    if (SUCCEEDED(result))
        result = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(result))
        result = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(result))
        result = encoder->CreateNewFrame(&frame, nullptr);
    if (SUCCEEDED(result))
        result = frame->Initialize(nullptr);
    if (SUCCEEDED(result))
        result = frame->SetSize(width, height);
    if (SUCCEEDED(result))
        result = frame->SetPixelFormat(&format);
    // The encoder may only offer another format; the pixels are in this one.
    if (SUCCEEDED(result) && format != GUID_WICPixelFormat24bppBGR)
        result = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(result))
        result = frame->WritePixels(height, width * 3, width * 3 * height, const_cast<BYTE*>(bgr));
    if (SUCCEEDED(result))
        result = frame->Commit();
    if (SUCCEEDED(result))
        result = encoder->Commit();
    releaseReference(frame);
    releaseReference(encoder);
    releaseReference(stream);
    return result;
}

}  // namespace

bool writePng(const wchar_t* path, const u8* bgr, u32 width, u32 height, const ReportSink* sink) {
    // The partial picture's name: the path and "~".
    u32 length = 0;
    while (path[length])
        ++length;
    wchar_t* partial = static_cast<wchar_t*>(allocate((u64(length) + 2) * sizeof(wchar_t)));
    if (!partial) {
        report(sink, kOutOfMemory);
        return false;
    }
    __builtin_memcpy(partial, path, length * sizeof(wchar_t));
    partial[length] = L'~';
    partial[length + 1] = 0;
    IWICImagingFactory* factory = nullptr;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(result)) {
        result = encode(factory, partial, bgr, width, height);
        factory->Release();
    }
    if (SUCCEEDED(result) && !MoveFileExW(partial, path, MOVEFILE_REPLACE_EXISTING))
        result = HRESULT_FROM_WIN32(GetLastError());
    if (FAILED(result)) {
        DeleteFileW(partial);
        // Errors of the file system arrive as HRESULTs of the Win32 facility: their own text.
        u32 code = HRESULT_FACILITY(result) == FACILITY_WIN32 ? u32(HRESULT_CODE(result)) : u32(result);
        report(sink, kSystemError, code);
    }
    deallocate(partial);
    return SUCCEEDED(result);
}
