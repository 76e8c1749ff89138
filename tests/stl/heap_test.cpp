#include <gtest/gtest.h>

#include <cstring>

#include "stl/heap.h"
#include "support/sinks.h"

TEST(Heap, ArraySizesThatOverflowFailWithOutOfMemory) {
    LoadHeap heap = createLoadHeap();
    ASSERT_NE(heap, nullptr);
    RecordingSink recorder;
    // 50 x this count wraps to 14 bytes: a heap asked for that would hand out a tiny block.
    u64 wrapping = UINT64_MAX / 50 + 1;
    EXPECT_EQ(allocateArray(heap, 50, wrapping, &recorder.sink), nullptr);
    EXPECT_EQ(allocateArray(heap, 1, UINT64_MAX, nullptr), nullptr);
    EXPECT_EQ(recorder.codes(), std::vector<ResultCode>{kOutOfMemory});
    EXPECT_TRUE(recorder.reports[0].hadTrace);
    EXPECT_EQ(allocateArray(heap, UINT64_MAX, 1, nullptr), nullptr) << "the largest single block is refused too";

    char* block = static_cast<char*>(allocateArray(heap, 10, 3, &recorder.sink));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abcdefghijklmnopqrstuvwxyz0123", 30);
    EXPECT_EQ(reallocateArray(heap, block, 50, wrapping, &recorder.sink), nullptr);
    EXPECT_EQ(std::memcmp(block, "abcdefghijklmnopqrstuvwxyz0123", 30), 0) << "the old block stays valid";
    char* grown = static_cast<char*>(reallocateArray(heap, block, 10, 300, &recorder.sink));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::memcmp(grown, "abcdefghijklmnopqrstuvwxyz0123", 30), 0);
    EXPECT_EQ(recorder.codes().size(), 2u);
    destroyLoadHeap(heap);  // frees `grown` with the rest
}
