#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "diag/messages.h"
#include "support/sinks.h"

static std::u16string translate(ResultCode code, uptr argument = 0) {
    TranslatingSink chain;
    report(&chain.sink, code, argument);
    std::vector<std::u16string> lines = chain.recorder.lines();
    EXPECT_EQ(lines.size(), 1u) << std::hex << code;
    return lines.empty() ? u"" : lines[0];
}

static FileText textOf(const char* bytes, u32 codePage = 0) {
    return FileText{reinterpret_cast<const u8*>(bytes), u32(std::strlen(bytes)), codePage};
}

// Every code of every kind and area reads as one printable line; a table text reads as it
// stands, no two codes share one, and each says what its kind and area promise.
TEST(Messages, EveryCodeReadsAsOneLineOfItsKind) {
    std::set<std::string> tableTexts;
    const ResultCode kinds[] = {0x00000000u, 0x10000000u, 0x40000000u, 0x80000000u}, areas[] = {0x000u, 0x800u, 0xB00u, 0xD00u};
    for (u32 i = 0; i < 256; ++i) {
        ResultCode kind = kinds[i >> 6], area = areas[i >> 4 & 3], code = kind | area | (i & 15);
        if (code == kProgress || code == kUtf16Text || code == kWarningPassThrough || code == kErrorPassThrough)
            continue;  // passed on unchanged, below
        std::string text = narrow(translate(code, 0));
        ASSERT_FALSE(text.empty()) << std::hex << code;
        for (char c : text)
            ASSERT_TRUE(c >= 0x20 && c != '%') << std::hex << code << ": " << text;
        const char* table = fixedMessageText(code);
        if (!table)
            continue;
        EXPECT_EQ(text, table) << std::hex << code;
        EXPECT_TRUE(tableTexts.insert(text).second) << "two codes read alike: " << text;
        if (area == 0x800 && kind == 0x80000000u)
            EXPECT_TRUE(text.rfind("STL error: ", 0) == 0 && text.size() > 21 && text.substr(text.size() - 10) == "; aborting") << text;
        if (area == 0x800 && kind == 0x40000000u)
            EXPECT_EQ(text.rfind("STL warning: ", 0), 0u) << text;
        if (area == 0xD00)
            EXPECT_EQ(text.rfind("Direct3D 11", 0), 0u) << text;
    }
    EXPECT_GE(tableTexts.size(), 25u) << "the walk reached the table";
    for (ResultCode code : std::vector<ResultCode>{kUnknownWasStillDrawing, kGpuComputeShaders, kSettingsKeyFailed, kSettingsValueFailed, 0x80000809})
        EXPECT_EQ(translate(code, 0x1234), u"<unknown>") << std::hex << code;
}

TEST(Messages, ControlCodesPassThroughUnchangedWithTheLastLinksAnswer) {
    const char16_t text[] = u"line";
    for (ResultCode code : {kProgress, kUtf16Text, kWarningPassThrough, kErrorPassThrough}) {
        TranslatingSink chain;
        chain.recorder.answer = false;
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

TEST(Messages, TextsFromTheArgument) {
    EXPECT_EQ(translate(kPlainText, reinterpret_cast<uptr>("plain")), u"plain");
    EXPECT_EQ(translate(kErrorText, reinterpret_cast<uptr>("\x80 5 \xE9\x9F")), u"\u20AC 5 \u00E9\u0178") << "widened as Windows-1252";
    EXPECT_EQ(translate(kWarningText, 0), u"<unknown>");
    EXPECT_EQ(translate(kWrittenBy, 0), u"<unknown>");
    FileText date = textOf("on 2024-01-02 \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(translate(kWrittenText, reinterpret_cast<uptr>(&date)), u"STL info: written on 2024-01-02 \u00E9t\u00E9");
    // A level the program does not name reads as the nearest it does.
    const std::pair<u32, const char16_t*> levels[] = {{0xB000, u"11"}, {0x1000, u"11"}, {0xC100, u"12.1"}, {0xB101, u"12.1"}};
    for (const auto& [level, name] : levels)
        EXPECT_EQ(translate(kGpuFeatureLevel, level), u"D3D info: GPU supports Direct3D " + std::u16string(name)) << std::hex << level;
}

// Each failure becomes one error report (or the still-drawing code) with the HRESULT,
// sign-extended; a null sink reports nothing.
TEST(Messages, Direct3DFailures) {
    for (u32 hresult : {0x80004005u, 0x8007000Eu, 0x887A0004u, 0x887A0005u, 0x887A000Au, 0x887C0001u, 0x887C0003u, 0x80070057u,
                        0x887A0006u, 0x80000000u, 0xFFFFFFFFu}) {
        RecordingSink recorder;
        reportDirect3DFailure(i32(hresult), &recorder.sink);
        ASSERT_EQ(recorder.reports.size(), 1u);
        ResultCode code = recorder.reports[0].code;
        EXPECT_TRUE(code == kUnknownWasStillDrawing || (isErrorCode(code) && fixedMessageText(code))) << std::hex << hresult;
        EXPECT_EQ(recorder.reports[0].argument, uptr(0xFFFFFFFF00000000ull | hresult));
        if (hresult == 0x8007000E)  // the lost GPU and the invalid call are the view's own tests
            EXPECT_EQ(code, kOutOfGpuMemory);
    }
    reportDirect3DFailure(i32(0x80004005), nullptr);
}

TEST(Messages, CodePageGuessAndDecoding) {
    const std::pair<const char*, u32> guesses[] = {
        {"Mod\xE2\x82\xAC", kCodePageUtf8},                 // three-byte sequence
        {"\xF0\x9F\x98\x80 and \xC0\xC0", kCodePageUtf8},    // one sequence anywhere wins
        {"\xC0\xC1\xC2\xC3", kCodePageCyrillic},             // no sequence, all high
        {"ab\xC0\xC1\xC2\xC3\xC4\xC5", kCodePageCyrillic},   // exactly three quarters
        {"abc\xC0\xC1\xC2\xC3\xC4", 0},                      // below
        {"ab\xE2\x82", 0},                                   // a sequence may not run past the text
    };
    for (const auto& [bytes, page] : guesses)
        EXPECT_EQ(guessCodePage(reinterpret_cast<const u8*>(bytes), u32(std::strlen(bytes))), page) << bytes;

    auto decode = [](const char* bytes, u32 codePage) {
        FileText text = textOf(bytes, codePage);
        std::vector<Utf16> out(text.length * 4 + 1);
        return std::u16string(out.data(), decodeFileText(&text, out.data()));
    };
    EXPECT_EQ(decode("\xF0\x9F\x98\x80", 0), u"\U0001F600");
    EXPECT_EQ(decode("\xCF\xF0\xE8\xE2\xE5\xF2", 0), u"\u041F\u0440\u0438\u0432\u0435\u0442");
    EXPECT_EQ(decode("caf\xE9 ok", 0), u"caf\u00E9 ok") << "the ANSI page (1252 here)";
    EXPECT_EQ(decode("\xC3\xA9", 1252), u"\u00C3\u00A9") << "a page given is not guessed";
}

// The lines' CR LF ends are read back by the console tool's and the viewer's tests; here,
// a thousand lines more.
TEST(Messages, CollectedLinesStayTerminatedAndGrowByDoubling) {
    MessageText messages = {};
    for (int i = 0; i < 1001; ++i)
        ASSERT_TRUE(appendMessageLine(&messages, i ? u"x" : u"first"));
    EXPECT_EQ(std::u16string(messages.text, 10), u"first\r\nx\r\n");
    EXPECT_EQ(+(messages.bytes), (7u + 3u * 1000u) * 2u);
    EXPECT_EQ(messages.text[messages.bytes / 2], 0);
    EXPECT_LT(+(messages.capacity), 2 * messages.bytes + 64) << "growth doubles, no more";
    releaseMessageText(&messages);
    EXPECT_EQ(+(messages.text), nullptr);
}
