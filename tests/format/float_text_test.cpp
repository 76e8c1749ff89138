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

f32 readBack(const std::string& s) {
    const u8* cursor = reinterpret_cast<const u8*>(s.data());
    f32 value = 0;
    EXPECT_EQ(scanNumber(&value, &cursor, cursor + s.size(), nullptr), kScanValue) << s;
    return value;
}

u32 bits(f32 value) {
    u32 b;
    std::memcpy(&b, &value, 4);
    return b;
}

}  // namespace

TEST(FloatText, ShortestForms) {
    EXPECT_EQ(text(0.001f), "0.001");
    EXPECT_EQ(text(0.0254f), "0.0254");
    EXPECT_EQ(text(0.01f), "0.01");
    EXPECT_EQ(text(1.0f), "1");
    EXPECT_EQ(text(100.0f), "100");
    EXPECT_EQ(text(0.1f), "0.1");
    EXPECT_EQ(text(-3.5e-7f), "-3.5e-7");
    EXPECT_EQ(text(1e20f), "1e+20");
    EXPECT_EQ(text(123456789.0f), "123456790") << "eight digits tell it apart";
    EXPECT_EQ(text(1234567890.0f), "1.234568e+9");
    EXPECT_EQ(text(0.0f), "0");
    EXPECT_EQ(text(-0.0f), "-0");
    EXPECT_EQ(text(NAN), "nan");
    EXPECT_EQ(text(-INFINITY), "-inf");
    EXPECT_EQ(text(1.4e-45f), "1e-45");
    EXPECT_EQ(text(3.4028235e38f), "3.4028235e+38");
}

// Every text reads back as the same float, across the whole range.
TEST(FloatText, RoundTrips) {
    std::mt19937 random(12345);
    for (int i = 0; i < 300000; ++i) {
        u32 b = random();
        f32 value;
        std::memcpy(&value, &b, 4);
        if (!std::isfinite(value))
            continue;
        std::string s = text(value);
        ASSERT_EQ(bits(readBack(s)), bits(value) == 0x80000000u ? 0u : bits(value)) << s;
    }
    for (u32 b = 1; b < 5000; ++b) {  // the smallest subnormals
        f32 value;
        std::memcpy(&value, &b, 4);
        ASSERT_EQ(bits(readBack(text(value))), b);
    }
}
