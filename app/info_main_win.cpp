// vantorel-info: the viewer's load pipeline without a window or a GPU, for scripts. Maps,
// detects, parses and identifies each file given and prints what the viewer would report.
#include <windows.h>
#include <shellapi.h>

#include "app/load_report.h"
#include "app/runtime.h"
#include "diag/messages.h"
#include "stl/detect.h"
#include "stl/heap.h"
#include "stl/map_file.h"
#include "format/length_text.h"
#include "render/mesh.h"
#include "stl/provenance.h"

namespace {

const char kUsage[] =
    "usage: vantorel-info [--json] FILE...\n"
    "Reads each STL file as the Vantorel STL Viewer does and reports its format, the\n"
    "messages of the load, its unit, up axis, colours and solids.\n"
    "  --json   print one JSON array with an object per file\n"
    "Exit status: 0 when every file loaded, 1 when any failed, 2 for a usage error.\n";

// The last link of the load's chain: keeps each translated line, ignores progress.
bool collectLine(void* context, ResultCode code, uptr argument, const Utf16*) {
    if (code == kUtf16Text)
        appendMessageLine(static_cast<MessageText*>(context), reinterpret_cast<const Utf16*>(argument));
    return true;
}

// Consoles get UTF-16, so that names in any script show; pipes and files get UTF-8.
void writeOutput(HANDLE handle, const u8* bytes, u64 length) {
    DWORD mode;
    if (GetConsoleMode(handle, &mode)) {
        const u64 chunk = 1 << 20;
        for (u64 done = 0; done < length;) {
            // Cut at a character boundary: never before a continuation byte.
            u64 end = done + chunk < length ? done + chunk : length;
            while (end < length && end > done && (bytes[end] & 0xC0) == 0x80)
                --end;
            int units = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes + done), int(end - done),
                                            nullptr, 0);
            wchar_t* wide = static_cast<wchar_t*>(allocate(u64(units > 0 ? units : 1) * sizeof(wchar_t)));
            if (wide && units > 0) {
                MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes + done), int(end - done), wide, units);
                DWORD written;
                WriteConsoleW(handle, wide, DWORD(units), &written, nullptr);
            }
            if (wide)
                deallocate(wide);
            done = end;
        }
        return;
    }
    while (length > 0) {
        DWORD written = 0;
        DWORD part = length > 0x40000000 ? 0x40000000 : DWORD(length);
        if (!WriteFile(handle, bytes, part, &written, nullptr) || written == 0)
            return;
        bytes += written;
        length -= written;
    }
}

void flush(HANDLE handle, TextOutput* out) {
    writeOutput(handle, out->bytes, out->length);
    if (out->failed) {
        static const char lost[] = "vantorel-info: out of memory; the report above is incomplete\n";
        writeOutput(GetStdHandle(STD_ERROR_HANDLE), reinterpret_cast<const u8*>(lost), sizeof(lost) - 1);
    }
    out->length = 0;
    out->failed = false;
}

// Runs the load pipeline on one file and writes its report. Returns whether it loaded.
bool reportFile(const wchar_t* path, bool json, TextOutput* out) {
    MessageText messages = {};
    ReportSink collector = {&messages, collectLine};
    ReportSink translator = makeMessageTranslator(&collector);
    const u8* view = nullptr;
    u64 size = 0;
    LoadResult result = {};
    LoadHeap heap = nullptr;
    StlFormat format = kFormatUnknown;
    bool loaded = false;
    LoadOutcome outcome = {reinterpret_cast<const Utf16*>(path), false, kFormatUnknown, &result, &messages, false, {}, {}, nullptr};
    Utf16 dimensions[kDimensionsTextUnits];
    if (mapFile(&view, &size, path, &translator) && view) {
        format = detectStlFormat(view, size);
        if (format != kFormatUnknown) {
            heap = createLoadHeap();
            PreparedVertices prepared;
            if (!heap) {
                report(&translator, kOutOfMemory);
            } else if (parseStl(&result, format, view, view + size, heap, &translator)) {
                applyLoadDefaults(&result.provenance, &translator);
                // The same preparation the viewer uploads, for the same box.
                if (prepareVertices(&result, heap, &translator, &prepared)) {
                    measureBoundingBox(&prepared, result.mesh.solidCount, result.provenance.metresPerUnit,
                                       outcome.centre, outcome.size);
                    *writeDimensionsText(outcome.size, result.provenance.coordinateSpace == kSpaceYUp, dimensions) = 0;
                    outcome.dimensions = dimensions;
                    outcome.measured = true;
                    loaded = true;
                }
            }
        }
    }
    outcome.loaded = loaded;
    outcome.format = format;
    if (json)
        writeLoadJson(out, &outcome);
    else
        writeLoadText(out, &outcome);
    if (heap)
        destroyLoadHeap(heap);
    unmapFile(view);
    releaseMessageText(&messages);
    return loaded;
}

bool isOption(const wchar_t* argument, const wchar_t* option) {
    while (*argument && *argument == *option) {
        ++argument;
        ++option;
    }
    return *argument == 0 && *option == 0;
}

UINT run() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments)
        return 2;
    // Options are read first; the file arguments are gathered at the front of the array
    // (kept for the process's life), in order.
    bool json = false;
    bool optionsEnd = false;
    int files = 0;
    for (int i = 1; i < count; ++i) {
        const wchar_t* argument = arguments[i];
        if (!optionsEnd && argument[0] == L'-' && argument[1] != 0) {
            if (isOption(argument, L"--json")) {
                json = true;
            } else if (isOption(argument, L"--")) {
                optionsEnd = true;
            } else if (isOption(argument, L"--help") || isOption(argument, L"-h")) {
                writeOutput(output, reinterpret_cast<const u8*>(kUsage), sizeof(kUsage) - 1);
                return 0;
            } else {
                writeOutput(errors, reinterpret_cast<const u8*>(kUsage), sizeof(kUsage) - 1);
                return 2;
            }
            continue;
        }
        arguments[files++] = arguments[i];
    }
    if (files == 0) {
        writeOutput(errors, reinterpret_cast<const u8*>(kUsage), sizeof(kUsage) - 1);
        return 2;
    }

    TextOutput out = {};
    bool allLoaded = true;
    if (json)
        appendText(&out, "[\n");
    for (int i = 0; i < files; ++i) {
        if (json && i > 0)
            appendText(&out, ",\n");
        allLoaded &= reportFile(arguments[i], json, &out);
        if (!json)
            appendText(&out, "\n");
        flush(output, &out);  // each report goes out as soon as it is made
    }
    if (json)
        appendText(&out, "\n]\n");
    flush(output, &out);
    releaseTextOutput(&out);
    return allLoaded ? 0 : 1;
}

}  // namespace

extern "C" void infoEntry() {
    runStaticInitialisers();
    ExitProcess(run());
}
