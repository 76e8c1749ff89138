#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "format/float_text.h"
#include "stl/number_scanner.h"

namespace {

std::string text(f32 value) {
    char out[24];
    u32 length = formatShortestFloat(value, out);
    EXPECT_LE(length, 17u);
    EXPECT_EQ(out[length], 0);
    return std::string(out, length);
}

u32 bits(f32 value) {
    u32 b;
    std::memcpy(&b, &value, 4);
    return b;
}

// The float the program's own scanner reads from the text.
u32 readBackBits(const std::string& s) {
    const u8* cursor = reinterpret_cast<const u8*>(s.data());
    f32 value = 0;
    EXPECT_EQ(scanNumber(&value, &cursor, cursor + s.size(), nullptr), kScanValue) << s;
    return bits(value);
}

}  // namespace

TEST(FloatText, ShortestForms) {
    const std::pair<f32, const char*> cases[] = {
        {0.001f, "0.001"},     {0.0254f, "0.0254"}, {1.0f, "1"},        {100.0f, "100"},   {0.1f, "0.1"},
        {-3.5e-7f, "-3.5e-7"}, {1e20f, "1e+20"},    {0.0f, "0"},        {-0.0f, "-0"},     {NAN, "nan"},
        {-INFINITY, "-inf"},   {1.4e-45f, "1e-45"}, {3.4028235e38f, "3.4028235e+38"},
        {123456789.0f, "123456790"},  // eight digits tell it apart
        {1234567890.0f, "1.234568e+9"},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(text(value), expected) << expected;
}

// Every text reads back as the same float, across the whole range and the smallest subnormals.
TEST(FloatText, RoundTrips) {
    std::mt19937 random(12345);
    for (int i = 0; i < 305000; ++i) {
        u32 b = i < 5000 ? u32(i + 1) : u32(random());
        f32 value;
        std::memcpy(&value, &b, 4);
        if (std::isfinite(value))
            ASSERT_EQ(readBackBits(text(value)), b == 0x80000000u ? 0u : b) << text(value);
    }
}
