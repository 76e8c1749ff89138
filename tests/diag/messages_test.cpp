#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "diag/messages.h"
#include "stl/heap.h"
#include "support/sinks.h"

namespace {

std::u16string translate(ResultCode code, uptr argument = 0) {
    TranslatingSink chain;
    report(&chain.sink, code, argument);
    std::vector<std::u16string> lines = chain.recorder.lines();
    EXPECT_EQ(lines.size(), 1u) << std::hex << code;
    return lines.empty() ? u"" : lines[0];
}

FileText textOf(const char* bytes, u32 codePage = 0) {
    return FileText{reinterpret_cast<const u8*>(bytes), u32(std::strlen(bytes)), codePage};
}

std::u16string decode(const char* bytes, u32 codePage = 0) {
    FileText text = textOf(bytes, codePage);
    std::vector<Utf16> out(text.length * 4 + 1);
    Utf16* end = decodeFileText(&text, out.data());
    return std::u16string(out.data(), end);
}

}  // namespace

TEST(Messages, EveryTableCodeHasItsText) {
    const std::pair<ResultCode, const char*> table[] = {
        {0x00000001, "<unknown>"},
        {0x40000800, "STL warning: bad ArchiCAD metadata (unknown unit); scaling may be incorrect"},
        {0x40000801, "STL warning: bad ArchiCAD metadata (unknown scale factor); scaling may be incorrect"},
        {0x40000802, "STL warning: missing name after 'endsolid'"},
        {0x40000803, "STL warning: found 'end solid' instead of 'endsolid'"},
        {0x40000804, "STL warning: unexpected end of file"},
        {0x40000805, "STL warning: unknown unit; assuming milimeters"},
        {0x40000806, "STL warning: unknown coordinate space; assuming Z up"},
        {0x10000d01, "<unknown>"},
        {0x80000005, "out of memory"},
        {0x80000006, "out of GPU memory"},
        {0x80000007, "file not found"},
        {0x80000800, "STL error: expected 'solid' keyword; aborting"},
        {0x80000801, "STL error: expected name of solid; aborting"},
        {0x80000802, "STL error: expected either 'facet' or 'endsolid' keyword; aborting"},
        {0x80000803, "STL error: expected 'vertex' keyword; aborting"},
        {0x80000804, "STL error: expected a number; aborting"},
        {0x80000805, "STL error: expected 'endloop' keyword; aborting"},
        {0x80000806, "STL error: expected 'endfacet' keyword; aborting"},
        {0x80000807, "STL error: unexpected end of file in number of triangles; aborting"},
        {0x80000808, "STL error: unexpected end of file in triangles; aborting"},
        {0x80000B01, "<unknown>"},
        {0x80000B02, "<unknown>"},
        {0x80000D00, "Direct3D 11 error: the debug layer is not installed on the system"},
        {0x80000D01, "Direct3D 11 error: call, parameter, or state invalid"},
        {0x80000D02, "Direct3D 11 error: too many states"},
        {0x80000D03, "Direct3D 11 error: too many views"},
        {0x80000D04, "Direct3D 11 error: GPU too old"},
        {0x80000D05, "Direct3D 11 error: driver update pending; you may need to reboot your system"},
        {0x80000D06, "Direct3D 11 is not available on this machine"},
        {0x80000D07, "Direct3D 11 error: lost GPU (may be overload or driver problems)"},
        {0x00000002, "<unknown>"},
        {0x80000809, "<unknown>"},
        {0x12345678, "<unknown>"},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(narrow(translate(code, 0x1234)), text) << std::hex << code;
}

TEST(Messages, ControlCodesPassThroughUnchangedWithTheLastLinksAnswer) {
    for (ResultCode code : {kProgress, kUtf16Text, kWarningPassThrough, kErrorPassThrough}) {
        TranslatingSink chain;
        chain.recorder.answer = false;
        const char16_t text[] = u"line";
        uptr argument = code == kUtf16Text ? reinterpret_cast<uptr>(text) : 917;
        EXPECT_FALSE(report(&chain.sink, code, argument)) << std::hex << code;
        ASSERT_EQ(chain.recorder.reports.size(), 1u);
        EXPECT_EQ(chain.recorder.reports[0].code, code);
        EXPECT_EQ(chain.recorder.reports[0].argument, argument);
        EXPECT_EQ(chain.recorder.reports[0].hadTrace, isErrorCode(code));
    }
    TranslatingSink chain;
    chain.recorder.answer = false;
    EXPECT_FALSE(report(&chain.sink, kUnexpectedEndOfFile, 12)) << "a translated line returns the last link's answer";
}

TEST(Messages, TextCodesCarryTheirArgumentWidenedAsWindows1252) {
    EXPECT_EQ(translate(kPlainText, reinterpret_cast<uptr>("plain")), u"plain");
    EXPECT_EQ(translate(kWarningText, reinterpret_cast<uptr>("careful")), u"careful");
    EXPECT_EQ(translate(kErrorText, reinterpret_cast<uptr>("\x80 5 \xE9\x9F")), u"\u20AC 5 \u00E9\u0178");
    EXPECT_EQ(translate(kErrorText, 0), u"<unknown>");
    EXPECT_EQ(translate(kWrittenBy, 0), u"<unknown>");
}

TEST(Messages, ComposedTexts) {
    EXPECT_EQ(translate(kWrittenBy, reinterpret_cast<uptr>("Rhinoceros")), u"STL info: written by Rhinoceros");
    FileText abc = textOf("abc", 20127);
    EXPECT_EQ(translate(kWrittenTo, reinterpret_cast<uptr>(&abc)), u"STL info: written to \"abc\"");
    FileText date = textOf("on 2024-01-02 \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(translate(kWrittenText, reinterpret_cast<uptr>(&date)), u"STL info: written on 2024-01-02 \u00E9t\u00E9");
    FileText empty = {nullptr, 0, 0};
    EXPECT_EQ(translate(kWrittenTo, reinterpret_cast<uptr>(&empty)), u"STL info: written to \"\"");

    const std::pair<u32, const char16_t*> levels[] = {
        {0x9100, u"9"},    {0x9200, u"9.0b"}, {0x9300, u"9.0c"}, {0xA000, u"10"},   {0xA100, u"10.1"},
        {0xB000, u"11"},   {0x1000, u"11"},   {0xB100, u"11.1"}, {0xB200, u"11.2"}, {0xB300, u"11.3"},
        {0xB400, u"11.4"}, {0xC000, u"12"},   {0xC100, u"12.1"}, {0xB101, u"12.1"},
    };
    for (const auto& [level, name] : levels)
        EXPECT_EQ(translate(kGpuFeatureLevel, level), u"D3D info: GPU supports Direct3D " + std::u16string(name)) << std::hex << level;
}

// A text far longer than the composing buffer is cut, never written past it.
TEST(Messages, ComposedTextsStopAtTheBuffer) {
    std::string huge(200000, 'x');
    FileText text = {reinterpret_cast<const u8*>(huge.data()), u32(huge.size()), 20127};
    std::u16string line = translate(kWrittenTo, reinterpret_cast<uptr>(&text));
    EXPECT_EQ(line.size(), 65534u);
    EXPECT_EQ(line.back(), u'"');
    EXPECT_EQ(translate(kWrittenBy, reinterpret_cast<uptr>(huge.c_str())).size(), 65534u);
}

TEST(Messages, Direct3DFailuresMapToTheirCodes) {
    const std::pair<u32, ResultCode> table[] = {
        {0x80004005, 0x80000D00}, {0x8007000E, 0x80000006}, {0x887A0004, 0x80000D05}, {0x887A0005, 0x80000D07},
        {0x887A000A, 0x00000001}, {0x887C0001, 0x80000D02}, {0x887C0003, 0x80000D03}, {0x80070057, 0x80000D01},
        {0x887A0006, 0x80000D01},
    };
    for (const auto& [hresult, code] : table) {
        RecordingSink recorder;
        reportDirect3DFailure(i32(hresult), &recorder.sink);
        ASSERT_EQ(recorder.reports.size(), 1u);
        EXPECT_EQ(recorder.reports[0].code, code) << std::hex << hresult;
        EXPECT_EQ(recorder.reports[0].argument, uptr(0xFFFFFFFF00000000ull | hresult)) << "sign-extended";
    }
    reportDirect3DFailure(i32(0x80004005), nullptr);
}

TEST(Messages, CodePageGuess) {
    auto guess = [](const char* bytes) { return guessCodePage(reinterpret_cast<const u8*>(bytes), u32(std::strlen(bytes))); };
    EXPECT_EQ(guess("\xC3\xA9"), 65001u);
    EXPECT_EQ(guess("Mod\xE2\x82\xAC"), 65001u) << "three-byte sequence";
    EXPECT_EQ(guess("\xF0\x9F\x98\x80 and \xC0\xC0"), 65001u) << "one sequence anywhere wins";
    EXPECT_EQ(guess("\xC0\xC1\xC2\xC3"), 1251u) << "no sequence, all high";
    EXPECT_EQ(guess("\xCF\xF0\xE8\xE2\xE5\xF2"), 1251u);
    EXPECT_EQ(guess("ab\xC0\xC1\xC2\xC3\xC4\xC5"), 1251u) << "exactly three quarters";
    EXPECT_EQ(guess("abc\xC0\xC1\xC2\xC3\xC4"), 0u) << "below three quarters";
    EXPECT_EQ(guess("plain"), 0u);
    EXPECT_EQ(guess("abcdefg\xC3"), 0u) << "a lead byte at the end has no room for its continuation";
    EXPECT_EQ(guess("ab\xE2\x82"), 0u) << "a sequence may not run past the text";
}

TEST(Messages, DecodingUsesTheGuessedOrGivenPage) {
    EXPECT_EQ(decode("caf\xC3\xA9"), u"caf\u00E9");
    EXPECT_EQ(decode("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(decode("\xCF\xF0\xE8\xE2\xE5\xF2"), u"\u041F\u0440\u0438\u0432\u0435\u0442");
    EXPECT_EQ(decode("caf\xE9 ok"), u"caf\u00E9 ok") << "the ANSI page (1252 here)";
    EXPECT_EQ(decode("\xC3\xA9", 1252), u"\u00C3\u00A9") << "a page given is not guessed";
    EXPECT_EQ(decode(""), u"");
}

TEST(Messages, CollectedLinesEndInCrLfAndStayTerminated) {
    MessageText messages = {};
    ASSERT_TRUE(appendMessageLine(&messages, u"first"));
    EXPECT_EQ(std::u16string(messages.text), u"first\r\n");
    EXPECT_EQ(+(messages.bytes), 14u);
    u64 capacity = messages.capacity;
    ASSERT_TRUE(appendMessageLine(&messages, u"second line"));
    EXPECT_EQ(std::u16string(messages.text), u"first\r\nsecond line\r\n");
    EXPECT_GT(+(messages.capacity), capacity);
    EXPECT_GE(+(messages.capacity), messages.bytes + 2);
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(appendMessageLine(&messages, u"x"));
    EXPECT_EQ(+(messages.bytes), (7u + 13u + 3u * 1000u) * 2u);
    EXPECT_EQ(messages.text[messages.bytes / 2], 0);
    releaseMessageText(&messages);
    EXPECT_EQ(+(messages.text), nullptr);
}
