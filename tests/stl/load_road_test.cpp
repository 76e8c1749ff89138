// The load road as every front end runs it: what the hooks and a stopping sink do, and, on
// Windows, bytes that become unreadable under each step. (That a finished load keeps nothing
// of its bytes is checked on every hostile input by the guard-page test and the parse fuzzer.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stl/detect.h"
#include "stl/load_road.h"
#include "support/sinks.h"
#include "support/stl_bytes.h"

#ifdef _WIN32
#include <windows.h>

#include "support/system_text_win.h"
#endif

namespace {

std::string asciiFacets(u32 count) {
    std::string text = "solid part\n";
    for (u32 i = 0; i < count; ++i)
        text += "facet normal 0 0 1\nouter loop\nvertex " + std::to_string(i % 97) +
                " 0 0\nvertex 1 0 0\nvertex 0 1 2\nendloop\nendfacet\n";
    return text + "endsolid part\n";
}

}  // namespace

// The hooks see the format before the parse and the parse before the vertices; a hook or a
// sink that says stop ends the road with nothing loaded but the format.
TEST(LoadRoad, HooksAndStops) {
    struct Case {
        const char* what;
        std::string bytes;
        bool parsedAnswer, sinkAnswer, loads;
        std::string calls;
    } cases[] = {
        {"loads", asciiFacets(3), true, true, true, "4 parsed"},
        {"not STL", "just some text that is not an STL file", true, true, false, ""},
        {"parsed hook refuses", asciiFacets(3), false, true, false, "4 parsed"},
        {"sink stops the reader", asciiFacets(200000), true, false, false, "4"},
    };
    static std::string calls;
    static bool parsedAnswer;
    const LoadRoadHooks hooks = {nullptr, [](void*, StlFormat format) { calls += std::to_string(format); },
                                 [](void*, const LoadResult*) { return calls += " parsed", parsedAnswer; }};
    for (const Case& c : cases) {
        calls.clear();
        parsedAnswer = c.parsedAnswer;
        RecordingSink sink;
        sink.answer = c.sinkAnswer;
        LoadedFile file;
        const u8* bytes = reinterpret_cast<const u8*>(c.bytes.data());
        EXPECT_EQ(runLoadRoad(&file, bytes, c.bytes.size(), &sink.sink, &hooks), c.loads) << c.what;
        EXPECT_EQ(calls, c.calls) << c.what;
        EXPECT_EQ(file.heap != nullptr, c.loads) << c.what;
        StlFormat format = file.result.format;
        EXPECT_EQ(format, detectStlFormat(bytes, c.bytes.size())) << c.what;
        releaseLoadedFile(&file);
    }
}

#ifdef _WIN32
// Bytes that become unreadable (a page made inaccessible, as a mapped file cut short by
// another system faults) under detection, the parse and either half of the vertex
// preparation: the road fails with the system's text, and its heap goes.
TEST(LoadRoad, BytesGoneUnderEachStep) {
    const std::vector<u8> large = BinaryStlBuilder().block(200000).bytes();
    const std::string text = asciiFacets(20000);
    struct Case {
        const char* what;
        std::vector<u8> bytes;
        double where;  // the page made unreadable, as a share of the bytes
    } cases[] = {
        {"detection", large, 0.0},
        {"ascii parse", std::vector<u8>(text.begin(), text.end()), 0.5},
        {"vertices, first half", large, 0.25},
        {"vertices, second half", large, 0.75},
    };
    for (const Case& c : cases) {
        u8* bytes = static_cast<u8*>(VirtualAlloc(nullptr, c.bytes.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        std::copy(c.bytes.begin(), c.bytes.end(), bytes);
        DWORD old;
        VirtualProtect(bytes + (size_t(c.bytes.size() * c.where) & ~size_t(4095)), 4096, PAGE_NOACCESS, &old);
        DWORD heaps = GetProcessHeaps(0, nullptr);
        TranslatingSink sink;
        LoadedFile file;
        EXPECT_FALSE(runLoadRoad(&file, bytes, c.bytes.size(), &sink.sink, nullptr)) << c.what;
        EXPECT_EQ(sink.recorder.lines(), std::vector<std::u16string>{systemText(ERROR_FILE_INVALID)}) << c.what;
        EXPECT_EQ(GetProcessHeaps(0, nullptr), heaps) << c.what;
        VirtualFree(bytes, 0, MEM_RELEASE);
    }
}
#endif
