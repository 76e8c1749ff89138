// vantorel-info: the viewer's load road without a window, for scripts. Runs the road over each
// file given and prints what the viewer would report; with pictures, draws its first frame.
#include <windows.h>
#include <shellapi.h>

#include "app/load_report.h"
#include "app/png_writer_win.h"
#include "app/runtime.h"
#include "app/settings_store_win.h"
#include "diag/messages.h"
#include "format/length_text.h"
#include "format/mesh_text.h"
#include "render/offscreen_win.h"
#include "stl/load_road.h"

namespace {

const char kUsage[] =
    "usage: vantorel-info [--json] [--render FOLDER [--size WxH]] FILE|FOLDER...\n"
    "Reads each STL file as the Vantorel STL Viewer does and reports its format, the\n"
    "messages of the load, its unit, up axis, colours and solids. A FOLDER argument reads\n"
    "the files of that folder in name order (not its subfolders).\n"
    "  --json           print one JSON array with an object per file\n"
    "  --render FOLDER  also write, for each file that loads, the viewer's first picture of\n"
    "                   it as NAME.png into FOLDER (which must exist)\n"
    "  --size WxH       the pictures' size in pixels, 1 to 16384 each (default 512x512)\n"
    "Exit status: 0 when every file loaded (and its picture was written), 1 when any\n"
    "failed, 2 for a usage error.\n";

const u32 kMaxPictureSide = 16384;

// The pictures of a run: one device and one target for every file.
struct Pictures {
    const wchar_t* folder;
    u32 width;
    u32 height;
    Renderer renderer;
    bool software;
    OffscreenTarget target;
    u8* pixels;  // width x height x 3
    u32 defaultObjectColour;  // the user's, as the viewer shows files without colours
};

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

// The picture's path: the folder, "\", the file's name with ".png" for its extension.
wchar_t* picturePath(const wchar_t* folder, const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/')
            name = p + 1;
    u64 nameUnits = textLength(name);
    for (u64 i = nameUnits; i-- > 0;)
        if (name[i] == L'.') {
            nameUnits = i;
            break;
        }
    u64 folderUnits = textLength(folder);
    wchar_t* out = static_cast<wchar_t*>(allocate((folderUnits + nameUnits + 6) * sizeof(wchar_t)));
    if (!out)
        return nullptr;
    __builtin_memcpy(out, folder, folderUnits * sizeof(wchar_t));
    wchar_t* at = out + folderUnits;
    *at++ = L'\\';
    __builtin_memcpy(at, name, nameUnits * sizeof(wchar_t));
    __builtin_memcpy(at + nameUnits, L".png", 5 * sizeof(wchar_t));
    return out;
}

// The viewer's first frame of a loaded file, written as a PNG. False (reported) when the
// mesh, the frame or the file cannot be made; `uploaded` says whether the mesh was.
bool renderPicture(Pictures* pictures, const wchar_t* path, LoadedFile* file, const ReportSink* sink, bool* uploaded,
                   wchar_t** written) {
    GpuMesh mesh = {};
    *uploaded = prepareGpuMesh(&mesh, &pictures->renderer, file, sink);
    if (!*uploaded)
        return false;
    const LoadResult* result = &file->result;
    mesh.colour = objectColour(statedMaterialColour(result), result, pictures->defaultObjectColour);
    wchar_t* target = picturePath(pictures->folder, path);
    bool ok = target && drawFirstFrame(&pictures->renderer, &pictures->target, &mesh,
                                       result->provenance.coordinateSpace == kSpaceYUp, pictures->pixels, sink) &&
              writePng(target, pictures->pixels, pictures->width, pictures->height, sink);
    if (!target)
        report(sink, kOutOfMemory);
    releaseVertexBuffer(&mesh);
    if (ok)
        *written = target;
    else if (target)
        deallocate(target);
    return ok;
}

// With pictures, a mesh that no vertex buffer can hold is refused before its vertices are made.
bool fitsThePicture(void* sink, const LoadResult* result) {
    return fitsOneVertexBuffer(result, static_cast<const ReportSink*>(sink));
}

// Runs the load road on one file and writes its report. Returns whether it loaded (and,
// with pictures, whether its picture was written).
bool reportFile(const wchar_t* path, bool json, Pictures* pictures, TextOutput* out) {
    MessageText messages = {};
    ReportSink collector = {&messages, collectLine};
    ReportSink translator = makeMessageTranslator(&collector);
    LoadRoadHooks hooks = {&translator, nullptr, pictures ? fitsThePicture : nullptr};
    LoadedFile file;
    bool loaded = runLoadRoadOnFile(&file, path, &translator, &hooks);
    wchar_t* picture = nullptr;
    LoadOutcome outcome = {};
    outcome.path = reinterpret_cast<const Utf16*>(path);
    outcome.read = file.read;
    outcome.format = file.result.format;
    outcome.result = &file.result;
    outcome.messages = &messages;
    outcome.rendering = pictures != nullptr;
    outcome.software = pictures && pictures->software;
    Utf16 dimensions[kDimensionsTextUnits];
    MeshCheck meshCheck;
    Utf16 meshText[kMeshTextUnits];
    bool meshChecked =
        loaded && checkMesh(&file.vertices, decimalUnit(file.result.provenance.metresPerUnit), &translator, &meshCheck);
    if (loaded) {
        // The box of the vertices the viewer uploads; with pictures, once they are uploaded.
        outcome.measured = true;
        if (pictures)
            loaded = renderPicture(pictures, path, &file, &translator, &outcome.measured, &picture);
    }
    if (outcome.measured) {
        for (int i = 0; i < 3; ++i) {
            outcome.centre[i] = file.centre[i];
            outcome.size[i] = file.size[i];
        }
        *writeDimensionsText(outcome.size, file.result.provenance.coordinateSpace == kSpaceYUp, dimensions) = 0;
        outcome.dimensions = dimensions;
        if (meshChecked) {
            *writeMeshText(&meshCheck, outcome.size, meshText) = 0;
            outcome.mesh = &meshCheck;
            outcome.meshText = meshText;
        }
    }
    outcome.loaded = outcome.measured;
    outcome.picture = reinterpret_cast<const Utf16*>(picture);
    if (json)
        writeLoadJson(out, &outcome);
    else
        writeLoadText(out, &outcome);
    if (picture)
        deallocate(picture);
    releaseLoadedFile(&file);
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

void writeError(const char* text) {
    writeOutput(GetStdHandle(STD_ERROR_HANDLE), reinterpret_cast<const u8*>(text), textLength(text));
}

void writeWideError(const wchar_t* text) {
    TextOutput out = {};
    appendUtf16(&out, reinterpret_cast<const Utf16*>(text), textLength(text));
    writeOutput(GetStdHandle(STD_ERROR_HANDLE), out.bytes, out.length);
    releaseTextOutput(&out);
}

UINT usageError(const char* what, const wchar_t* argument) {
    writeError("vantorel-info: ");
    writeError(what);
    if (argument)
        writeWideError(argument);
    writeError("\n");
    writeError(kUsage);
    return 2;
}

// "WxH", each side a whole number from 1 to the largest texture side.
bool parseSize(const wchar_t* text, u32* width, u32* height) {
    u32* side = width;
    *width = *height = 0;
    for (;; ++text) {
        if (*text >= L'0' && *text <= L'9') {
            *side = *side * 10 + u32(*text - L'0');
            if (*side > kMaxPictureSide)
                return false;
        } else if ((*text == L'x' || *text == L'X') && side == width && *width) {
            side = height;
        } else {
            return *text == 0 && side == height && *height;
        }
    }
}

bool isFolder(const wchar_t* path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The files of a folder (not its subfolders), as full paths in name order, on the process
// heap; null when none can be listed.
wchar_t** listFolder(const wchar_t* folder, u32* count) {
    *count = 0;
    u64 folderUnits = textLength(folder);
    wchar_t* pattern = static_cast<wchar_t*>(allocate((folderUnits + 3) * sizeof(wchar_t)));
    if (!pattern)
        return nullptr;
    __builtin_memcpy(pattern, folder, folderUnits * sizeof(wchar_t));
    __builtin_memcpy(pattern + folderUnits, L"\\*", 3 * sizeof(wchar_t));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    deallocate(pattern);
    if (search == INVALID_HANDLE_VALUE)
        return nullptr;
    wchar_t** paths = nullptr;
    u32 capacity = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (*count == capacity) {
            capacity = capacity ? 2 * capacity : 64;
            void* grown = paths ? reallocate(paths, capacity * sizeof(wchar_t*)) : allocate(capacity * sizeof(wchar_t*));
            if (!grown)
                break;
            paths = static_cast<wchar_t**>(grown);
        }
        u64 nameUnits = textLength(found.cFileName);
        wchar_t* path = static_cast<wchar_t*>(allocate((folderUnits + nameUnits + 2) * sizeof(wchar_t)));
        if (!path)
            break;
        __builtin_memcpy(path, folder, folderUnits * sizeof(wchar_t));
        path[folderUnits] = L'\\';
        __builtin_memcpy(path + folderUnits + 1, found.cFileName, (nameUnits + 1) * sizeof(wchar_t));
        // Insertion in name order, as Explorer's name column sorts without its number rule.
        u32 at = *count;
        while (at > 0 && CompareStringOrdinal(paths[at - 1], -1, path, -1, TRUE) == CSTR_GREATER_THAN) {
            paths[at] = paths[at - 1];
            --at;
        }
        paths[at] = path;
        ++*count;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return paths;
}

bool startPictures(Pictures* pictures) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    pictures->defaultObjectColour = readDefaultObjectColour();
    MessageText messages = {};
    ReportSink collector = {&messages, collectLine};
    ReportSink translator = makeMessageTranslator(&collector);
    pictures->pixels = static_cast<u8*>(allocate(u64(pictures->width) * pictures->height * 3));
    if (!pictures->pixels)
        report(&translator, kOutOfMemory);
    bool ok = pictures->pixels && createOffscreenRenderer(&pictures->renderer, &pictures->software, &translator) &&
              createOffscreenTarget(pictures->renderer.device, &pictures->target, pictures->width, pictures->height,
                                    &translator);
    if (!ok) {
        writeError("vantorel-info: no pictures can be drawn: ");
        if (messages.text)
            writeWideError(reinterpret_cast<const wchar_t*>(messages.text));
        writeError("\n");
    }
    releaseMessageText(&messages);
    return ok;
}

UINT run() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments)
        return 2;
    // Options are read first; the file arguments are gathered at the front of the array
    // (kept for the process's life), in order.
    bool json = false;
    bool optionsEnd = false;
    Pictures pictures = {};
    pictures.width = pictures.height = 512;
    bool sized = false;
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
            } else if (isOption(argument, L"--render")) {
                if (++i == count)
                    return usageError("--render needs a folder", nullptr);
                pictures.folder = arguments[i];
            } else if (isOption(argument, L"--size")) {
                if (++i == count || !parseSize(arguments[i], &pictures.width, &pictures.height))
                    return usageError("--size takes WIDTHxHEIGHT, each from 1 to 16384: ", i < count ? arguments[i] : L"");
                sized = true;
            } else {
                return usageError("unknown option ", argument);
            }
            continue;
        }
        arguments[files++] = arguments[i];
    }
    if (files == 0)
        return usageError("no file given", nullptr);
    if (sized && !pictures.folder)
        return usageError("--size goes with --render", nullptr);
    if (pictures.folder && !isFolder(pictures.folder))
        return usageError("--render needs an existing folder: ", pictures.folder);
    Pictures* rendering = nullptr;
    if (pictures.folder) {
        if (!startPictures(&pictures))
            return 1;
        rendering = &pictures;
    }

    TextOutput out = {};
    bool allLoaded = true;
    u32 reported = 0;
    if (json)
        appendText(&out, "[\n");
    auto reportOne = [&](const wchar_t* path) {
        if (json && reported > 0)
            appendText(&out, ",\n");
        allLoaded &= reportFile(path, json, rendering, &out);
        if (!json)
            appendText(&out, "\n");
        flush(output, &out);  // each report goes out as soon as it is made
        ++reported;
    };
    for (int i = 0; i < files; ++i) {
        if (!isFolder(arguments[i])) {
            reportOne(arguments[i]);
            continue;
        }
        u32 listed = 0;
        wchar_t** paths = listFolder(arguments[i], &listed);
        for (u32 k = 0; k < listed; ++k) {
            reportOne(paths[k]);
            deallocate(paths[k]);
        }
        if (paths)
            deallocate(paths);
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
