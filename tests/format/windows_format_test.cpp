#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "format/length_text.h"

// The machine's locale is en-US here: two fraction digits, point, comma grouping. Just
// below a unit's threshold the smaller unit stands, at it the larger; infinity and NaN say
// what they are.
TEST(LengthText, ThroughTheLocale) {
    const std::pair<float, std::u16string> cases[] = {
        {1.5f, u"1.50\u2009m"}, {12345.0f, u"12.35\u2009km"}, {0.999f, u"99.90\u2009cm"}, {0.01f, u"1.00\u2009cm"},
        {999.9f, u"999.90\u2009m"}, {1234567.0f, u"1,235.00\u2009km"}, {-0.25f, u"-250.00\u2009mm"},
        {NAN, u"NaN\u2009km"}, {-INFINITY, u"-Infinity\u2009mm"},
    };
    for (const auto& [metres, text] : cases) {
        Utf16 buffer[kLengthTextUnits];
        Utf16* end = writeLengthText(metres, buffer);
        EXPECT_LE(end - buffer, ptrdiff_t(kLengthTextUnits));
        EXPECT_EQ(std::u16string(buffer, end), text) << metres;
    }
}
