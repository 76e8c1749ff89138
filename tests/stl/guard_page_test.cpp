// The Windows build's whole load pipeline (the parse fuzz target's) on inputs that end flush
// against an inaccessible page: a read one byte past any input faults. Every truncation of
// the fixture files and thousands of mutations of them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/hostile_inputs.h"
#include "support/load_pipeline.h"

TEST(GuardPage, NoInputIsReadPastItsEnd) {
    // Room for 64 KiB of input, followed by a PAGE_NOACCESS page.
    const size_t room = 1 << 16, page = 4096;
    u8* base = static_cast<u8*>(VirtualAlloc(nullptr, room + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    ASSERT_TRUE(VirtualProtect(base + room, page, PAGE_NOACCESS, &old));
    size_t inputs = 0;
    ASSERT_TRUE(forEachHostileInput(VANTOREL_FIXTURES, 1, 600, [&](const std::vector<u8>& bytes) {
        u8* at = base + room - bytes.size();
        std::copy(bytes.begin(), bytes.end(), at);
        runLoadPipeline(at, bytes.size());
        ++inputs;
    }));
    EXPECT_GE(inputs, 10000u);
    VirtualFree(base, 0, MEM_RELEASE);
}
