#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "format/float_text.h"
#include "stl/number_scanner.h"

static std::string text(f32 value) {
    char out[24];
    u32 length = formatShortestFloat(value, out);
    EXPECT_LE(length, 17u);
    EXPECT_EQ(out[length], 0);
    return std::string(out, length);
}

TEST(FloatText, ShortestForms) {
    const std::pair<f32, const char*> cases[] = {
        {100.0f, "100"}, {0.1f, "0.1"}, {-3.5e-7f, "-3.5e-7"}, {1e20f, "1e+20"}, {0.0f, "0"}, {-0.0f, "-0"},
        {-INFINITY, "-inf"}, {1.4e-45f, "1e-45"}, {3.4028235e38f, "3.4028235e+38"},
        {123456789.0f, "123456790"},  // eight digits tell it apart
        {1234567890.0f, "1.234568e+9"},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(text(value), expected) << expected;
}

// Every text reads back through the program's own scanner as the same float (-0 as +0),
// across the whole range and the smallest subnormals.
TEST(FloatText, RoundTrips) {
    std::mt19937 random(12345);
    for (int i = 0; i < 305000; ++i) {
        u32 bits = i < 5000 ? u32(i + 1) : u32(random()), readBits;
        f32 value, read = 0;
        std::memcpy(&value, &bits, 4);
        if (!std::isfinite(value))
            continue;
        std::string s = text(value);
        const u8* cursor = reinterpret_cast<const u8*>(s.data());
        ASSERT_EQ(scanNumber(&read, &cursor, cursor + s.size(), nullptr), kScanValue) << s;
        std::memcpy(&readBits, &read, 4);
        ASSERT_EQ(readBits, bits == 0x80000000u ? 0u : bits) << s;
    }
}
