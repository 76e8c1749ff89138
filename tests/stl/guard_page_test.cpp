// The Windows build's whole load pipeline (the parse fuzz target's) on inputs that end flush
// against an inaccessible page: a read one byte past any input faults. Every truncation of
// the fixture files and thousands of mutations of them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

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

std::vector<u8> readFixture(const char* name) {
    std::ifstream file(std::string(VANTOREL_FIXTURES) + "/" + name, std::ios::binary);
    return std::vector<u8>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(GuardPage, NoInputIsReadPastItsEnd) {
    const char* fixtures[] = {"cube_ascii.stl", "cube_binary.stl", "coloured_rgb.stl", "coloured_bgr.stl", "two_solids.stl",
                              "two_blocks.stl", "inches.stl", "fusion_y_up.stl", "cafe_utf8.stl", "flat_onshape.stl", "broken.stl"};
    GuardedBuffer guarded(1 << 16);
    std::mt19937 random(7);
    size_t inputs = 0;
    for (const char* name : fixtures) {
        std::vector<u8> file = readFixture(name);
        ASSERT_FALSE(file.empty()) << name;
        // Every truncation.
        for (size_t length = 0; length <= file.size(); ++length) {
            std::vector<u8> cut(file.begin(), file.begin() + length);
            runLoadPipeline(guarded.place(cut), cut.size());
            ++inputs;
        }
        // Mutations: bytes changed, inserted, removed; the binary count and header rewritten.
        for (int i = 0; i < 600; ++i) {
            std::vector<u8> mutated = file;
            int edits = 1 + random() % 8;
            for (int e = 0; e < edits && !mutated.empty(); ++e) {
                size_t at = random() % mutated.size();
                switch (random() % 4) {
                case 0: mutated[at] = u8(random()); break;
                case 1: mutated.insert(mutated.begin() + at, u8(random() % 2 ? ' ' : random())); break;
                case 2: mutated.erase(mutated.begin() + at); break;
                default:
                    if (mutated.size() >= 84) {
                        u32 count = random() % 3 ? u32(random() % 64) : u32(random());
                        std::memcpy(mutated.data() + 80, &count, 4);
                    }
                }
            }
            runLoadPipeline(guarded.place(mutated), mutated.size());
            ++inputs;
        }
    }
    EXPECT_GE(inputs, 10000u);
}
