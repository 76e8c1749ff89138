#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "format/length_text.h"

namespace {

std::u16string lengthText(float metres) {
    Utf16 buffer[kLengthTextUnits];
    Utf16* end = writeLengthText(metres, buffer);
    EXPECT_LE(end - buffer, ptrdiff_t(kLengthTextUnits));
    return std::u16string(buffer, end);
}

}  // namespace

// The machine's locale is en-US here: two fraction digits, point, comma grouping.
TEST(LengthText, ThroughTheLocale) {
    EXPECT_EQ(lengthText(0.2f), u"20.00\u2009cm");
    EXPECT_EQ(lengthText(1.5f), u"1.50\u2009m");
    EXPECT_EQ(lengthText(0.0034f), u"3.40\u2009mm");
    EXPECT_EQ(lengthText(12345.0f), u"12.35\u2009km") << "four digits 1235, then two fraction digits";
    EXPECT_EQ(lengthText(0.999f), u"99.90\u2009cm") << "just below a threshold: the smaller unit";
    EXPECT_EQ(lengthText(0.01f), u"1.00\u2009cm") << "at a threshold: the larger";
    EXPECT_EQ(lengthText(999.9f), u"999.90\u2009m");
    EXPECT_EQ(lengthText(123456.0f), u"123.50\u2009km");
    EXPECT_EQ(lengthText(1234567.0f), u"1,235.00\u2009km") << "the locale groups thousands";
    EXPECT_EQ(lengthText(-0.25f), u"-250.00\u2009mm");
}

TEST(LengthText, NonFiniteLengthsSayWhatTheyAre) {
    EXPECT_EQ(lengthText(NAN), u"NaN\u2009km");
    EXPECT_EQ(lengthText(INFINITY), u"Infinity\u2009km");
    EXPECT_EQ(lengthText(-INFINITY), u"-Infinity\u2009mm");
}
