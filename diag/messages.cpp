#include "diag/messages.h"

#include "diag/system_text.h"
#include "stl/heap.h"

namespace {

struct CodeText {
    ResultCode code;
    const char* text;
};

const CodeText kCodeTexts[] = {
    {kOutOfMemory, "out of memory"},
    {kOutOfGpuMemory, "out of GPU memory"},
    {kFileNotFound, "file not found"},
    {kBadArchiCadUnit, "STL warning: bad ArchiCAD metadata (unknown unit); scaling may be incorrect"},
    {kBadArchiCadScale, "STL warning: bad ArchiCAD metadata (unknown scale factor); scaling may be incorrect"},
    {kMissingEndsolidName, "STL warning: missing name after 'endsolid'"},
    {kEndSolidWithSpace, "STL warning: found 'end solid' instead of 'endsolid'"},
    {kUnexpectedEndOfFile, "STL warning: unexpected end of file"},
    {kUnknownUnitAssumingMillimetres, "STL warning: unknown unit; assuming milimeters"},
    {kUnknownSpaceAssumingZUp, "STL warning: unknown coordinate space; assuming Z up"},
    {kExpectedSolid, "STL error: expected 'solid' keyword; aborting"},
    {kExpectedSolidName, "STL error: expected name of solid; aborting"},
    {kExpectedFacetOrEndsolid, "STL error: expected either 'facet' or 'endsolid' keyword; aborting"},
    {kExpectedVertex, "STL error: expected 'vertex' keyword; aborting"},
    {kExpectedNumber, "STL error: expected a number; aborting"},
    {kExpectedEndloop, "STL error: expected 'endloop' keyword; aborting"},
    {kExpectedEndfacet, "STL error: expected 'endfacet' keyword; aborting"},
    {kEndOfFileInTriangleCount, "STL error: unexpected end of file in number of triangles; aborting"},
    {kEndOfFileInTriangles, "STL error: unexpected end of file in triangles; aborting"},
    {kD3DDebugLayerMissing, "Direct3D 11 error: the debug layer is not installed on the system"},
    {kD3DInvalidCall, "Direct3D 11 error: call, parameter, or state invalid"},
    {kD3DTooManyStates, "Direct3D 11 error: too many states"},
    {kD3DTooManyViews, "Direct3D 11 error: too many views"},
    {kD3DGpuTooOld, "Direct3D 11 error: GPU too old"},
    {kD3DDriverUpdatePending, "Direct3D 11 error: driver update pending; you may need to reboot your system"},
    {kD3DNotAvailable, "Direct3D 11 is not available on this machine"},
    {kD3DDeviceLost, "Direct3D 11 error: lost GPU (may be overload or driver problems)"},
};

const char kUnknownText[] = "<unknown>";

enum : u32 { kComposeUnits = 65535 };

// Bytes 0x80..0x9F of Windows-1252, the page of the Western exporters whose names reach
// the 8-bit texts; 0xA0..0xFF are Latin-1 and map to themselves. A byte-for-unit widening
// keeps each 8-bit text the length it was.
const Utf16 kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

Utf16 widen(u8 byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : Utf16(byte);
}

// Appends a terminated 8-bit text, widened, stopping short of `end`.
Utf16* appendWidened(Utf16* out, const Utf16* end, const char* text) {
    for (; *text && out < end; ++text)
        *out++ = widen(u8(*text));
    return out;
}

Utf16* appendDecoded(Utf16* out, const Utf16* end, const FileText* text) {
    // Every code page this program meets makes at most one unit of each byte, so a text cut
    // to the room left cannot overflow it.
    u32 room = u32(end - out);
    u32 length = text->length < room ? text->length : room;
    FileText cut = {text->bytes, length, text->codePage};
    u32 codePage = cut.codePage ? cut.codePage : guessCodePage(cut.bytes, cut.length);
    return out + convertCodePage(codePage, cut.bytes, cut.length, out, room);
}

bool passOnText(const ReportSink* next, const Utf16* text, const Utf16* trace) {
    return next->callback(next->context, kUtf16Text, reinterpret_cast<uptr>(text), trace);
}

// Table texts go on in a heap copy sized to the text; losing one line to a full heap is
// better than stopping the operation that reported it.
bool passOnFixedText(const ReportSink* next, const char* text, const Utf16* trace) {
    u64 length = textLength(text);
    Utf16* copy = static_cast<Utf16*>(allocate((u64(length) + 1) * sizeof(Utf16)));
    if (!copy)
        return true;
    Utf16* end = appendWidened(copy, copy + length, text);
    *end = 0;
    bool result = passOnText(next, copy, trace);
    deallocate(copy);
    return result;
}

Utf16* appendSystemErrorText(Utf16* out, const Utf16* end, u32 error) {
    u32 written = systemErrorText(error, out, u32(end - out));
    if (written)
        return out + written;
    // The system has no text for this code: name the number, so that it can be looked up.
    char digits[21];
    *writeDecimal(digits, error) = 0;
    out = appendWidened(out, end, "Windows error ");
    return appendWidened(out, end, digits);
}

// Builds a composed text into `buffer`; returns null when the code is not composed or its
// argument is missing.
Utf16* composeText(Utf16* buffer, ResultCode code, uptr argument) {
    const Utf16* end = buffer + kComposeUnits - 1;  // room for the terminator
    if (code == kSystemError)
        return appendSystemErrorText(buffer, end, u32(argument));
    if (code == kGpuFeatureLevel) {
        Utf16* out = appendWidened(buffer, end, "D3D info: GPU supports Direct3D ");
        return appendWidened(out, end, featureLevelName(u32(argument)));
    }
    if (!argument)
        return nullptr;
    if (code == kWrittenBy) {
        Utf16* out = appendWidened(buffer, end, "STL info: written by ");
        return appendWidened(out, end, reinterpret_cast<const char*>(argument));
    }
    const FileText* text = reinterpret_cast<const FileText*>(argument);
    if (code == kWrittenText)
        return appendDecoded(appendWidened(buffer, end, "STL info: written "), end, text);
    if (code == kWrittenTo) {
        Utf16* out = appendWidened(buffer, end, "STL info: written to \"");
        out = appendDecoded(out, end - 1, text);
        *out++ = u'"';
        return out;
    }
    return nullptr;
}

}  // namespace

const char* fixedMessageText(ResultCode code) {
    for (const CodeText& entry : kCodeTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return nullptr;
}

bool translateMessage(void* nextLink, ResultCode code, uptr argument, const Utf16* trace) {
    const ReportSink* next = static_cast<const ReportSink*>(nextLink);
    switch (code) {
    case kProgress:
    case kUtf16Text:
    case kWarningPassThrough:
    case kErrorPassThrough:
        return next->callback(next->context, code, argument, trace);
    case kPlainText:
    case kWarningText:
    case kErrorText:
        return passOnFixedText(next, argument ? reinterpret_cast<const char*>(argument) : kUnknownText, trace);
    case kSystemError:
    case kGpuFeatureLevel:
    case kWrittenBy:
    case kWrittenText:
    case kWrittenTo: {
        Utf16 buffer[kComposeUnits];
        Utf16* end = composeText(buffer, code, argument);
        if (!end)
            break;
        *end = 0;
        return passOnText(next, buffer, trace);
    }
    default: {
        const char* text = fixedMessageText(code);
        if (text)
            return passOnFixedText(next, text, trace);
        break;
    }
    }
    return passOnFixedText(next, kUnknownText, trace);
}

const char* featureLevelName(u32 level) {
    switch (level) {
    case 0x9100: return "9";
    case 0x9200: return "9.0b";
    case 0x9300: return "9.0c";
    case 0xA000: return "10";
    case 0xA100: return "10.1";
    case 0xB100: return "11.1";
    case 0xB200: return "11.2";
    case 0xB300: return "11.3";
    case 0xB400: return "11.4";
    case 0xC000: return "12";
    default: return level < 0xB100 ? "11" : "12.1";
    }
}

void reportDirect3DFailure(i32 hresult, const ReportSink* sink) {
    if (!sink)
        return;
    ResultCode code;
    switch (u32(hresult)) {
    case 0x80004005: code = kD3DDebugLayerMissing; break;     // E_FAIL: what creating with the debug flag gives without the layer
    case 0x8007000E: code = kOutOfGpuMemory; break;           // E_OUTOFMEMORY
    case 0x887A0004: code = kD3DDriverUpdatePending; break;   // DXGI_ERROR_UNSUPPORTED
    case 0x887A0005: code = kD3DDeviceLost; break;            // DXGI_ERROR_DEVICE_REMOVED
    case 0x887A000A: code = kUnknownWasStillDrawing; break;   // DXGI_ERROR_WAS_STILL_DRAWING
    case 0x887C0001: code = kD3DTooManyStates; break;         // D3D11_ERROR_TOO_MANY_UNIQUE_STATE_OBJECTS
    case 0x887C0003: code = kD3DTooManyViews; break;          // D3D11_ERROR_TOO_MANY_UNIQUE_VIEW_OBJECTS
    default: code = kD3DInvalidCall; break;
    }
    report(sink, code, uptr(i64(hresult)));
}

u32 guessCodePage(const u8* bytes, u32 length) {
    u32 highBytes = 0;
    bool utf8Sequence = false;
    for (u32 i = 0; i < length; ++i) {
        u8 byte = bytes[i];
        if (byte < 0xC0)
            continue;
        ++highBytes;
        if (utf8Sequence)
            continue;
        u32 continuations = (byte & 0xE0) == 0xC0 ? 1 : (byte & 0xF0) == 0xE0 ? 2 : (byte & 0xF8) == 0xF0 ? 3 : 0;
        if (continuations == 0 || continuations > length - 1 - i)
            continue;
        bool wellFormed = true;
        for (u32 k = 1; k <= continuations; ++k)
            wellFormed &= (bytes[i + k] & 0xC0) == 0x80;
        utf8Sequence = wellFormed;
    }
    if (utf8Sequence)
        return kCodePageUtf8;
    return highBytes >= ((u64(length) * 3) >> 2) ? u32(kCodePageCyrillic) : 0;
}

Utf16* decodeFileText(const FileText* text, Utf16* out) {
    u32 codePage = text->codePage ? text->codePage : guessCodePage(text->bytes, text->length);
    u64 capacity = u64(text->length) * 4;
    return out + convertCodePage(codePage, text->bytes, text->length, out, capacity > UINT32_MAX ? UINT32_MAX : u32(capacity));
}

bool appendMessageLine(MessageText* messages, const Utf16* line) {
    u64 lineUnits = textLength(line);
    u64 needed = messages->bytes + (lineUnits + 3) * sizeof(Utf16);  // the line, CR LF, terminator
    if (needed > messages->capacity) {
        u64 capacity = messages->bytes * 2 > needed ? messages->bytes * 2 : needed;
        void* grown = messages->text ? reallocate(messages->text, capacity) : allocate(capacity);
        if (!grown)
            return false;
        messages->text = static_cast<Utf16*>(grown);
        messages->capacity = capacity;
    }
    Utf16* out = messages->text + messages->bytes / sizeof(Utf16);
    __builtin_memcpy(out, line, lineUnits * sizeof(Utf16));
    out[lineUnits] = u'\r';
    out[lineUnits + 1] = u'\n';
    out[lineUnits + 2] = 0;
    messages->bytes += (lineUnits + 2) * sizeof(Utf16);
    return true;
}

void releaseMessageText(MessageText* messages) {
    if (messages->text)
        deallocate(messages->text);
    *messages = MessageText{};
}
