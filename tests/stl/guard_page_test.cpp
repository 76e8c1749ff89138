// The Windows build's whole load pipeline (the parse fuzz target's) on inputs that end flush
// against an inaccessible page: a read one byte past any input faults. Every truncation of
// the fixture files and thousands of mutations of them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/hostile_inputs.h"
#include "support/load_pipeline.h"

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

}  // namespace

TEST(GuardPage, NoInputIsReadPastItsEnd) {
    GuardedBuffer guarded(1 << 16);
    size_t inputs = 0;
    ASSERT_TRUE(forEachHostileInput(VANTOREL_FIXTURES, 1, 600, [&](const std::vector<u8>& bytes) {
        runLoadPipeline(guarded.place(bytes), bytes.size());
        ++inputs;
    }));
    EXPECT_GE(inputs, 10000u);
}
