// The Windows build's whole load pipeline on inputs that end flush against an inaccessible
// page: a read one byte past any input faults. Every truncation of the fixture files and
// thousands of mutations of them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "diag/messages.h"
#include "render/mesh.h"
#include "stl/ascii_reader.h"
#include "stl/detect.h"
#include "stl/provenance.h"
#include "support/hostile_inputs.h"

namespace {

const size_t kPage = 4096;

// Room for `size` bytes that end where a PAGE_NOACCESS page begins.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t capacity) {
        committed_ = (capacity + kPage - 1) / kPage * kPage;
        base_ = static_cast<u8*>(VirtualAlloc(nullptr, committed_ + kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + committed_, kPage, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    const u8* place(const std::vector<u8>& bytes) {
        u8* at = base_ + committed_ - bytes.size();
        if (!bytes.empty())
            std::memcpy(at, bytes.data(), bytes.size());
        return at;
    }

private:
    u8* base_;
    size_t committed_;
};

bool dropLine(void*, ResultCode, uptr, const Utf16*) {
    return true;
}

void runPipeline(const u8* first, size_t size) {
    ReportSink last = {nullptr, dropLine};
    ReportSink translator = makeMessageTranslator(&last);
    const u8* end = first + size;
    for (StlFormat format : {kFormatUnknown, kFormatAscii}) {
        LoadHeap heap = createLoadHeap();
        LoadResult result = {};
        bool parsed = format == kFormatUnknown ? detectStlFormat(first, size) != kFormatUnknown &&
                                                     parseStl(&result, kFormatUnknown, first, end, heap, &translator)
                                               : parseStl(&result, kFormatAscii, first, end, heap, &translator);
        if (parsed) {
            applyLoadDefaults(&result.provenance, &translator);
            PreparedVertices prepared;
            if (prepareVertices(&result, heap, &translator, &prepared)) {
                f32 centre[3], size3[3];
                measureBoundingBox(&prepared, result.mesh.solidCount, result.provenance.metresPerUnit, centre, size3);
            }
        }
        destroyLoadHeap(heap);
    }
}

}  // namespace

TEST(GuardPage, NoInputIsReadPastItsEnd) {
    GuardedBuffer guarded(1 << 16);
    size_t inputs = 0;
    ASSERT_TRUE(forEachHostileInput(VANTOREL_FIXTURES, 1, 600, [&](const std::vector<u8>& bytes) {
        runPipeline(guarded.place(bytes), bytes.size());
        ++inputs;
    }));
    EXPECT_GE(inputs, 10000u);
}
