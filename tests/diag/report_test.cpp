#include <gtest/gtest.h>

#include <string>

#include "diag/report.h"
#include "support/sinks.h"

static std::u16string lineFor(const std::u16string& name, u32 offset) {
    Utf16 buffer[64];
    return std::u16string(buffer, writeFrameLine(buffer, name.data(), u32(name.size()), offset));
}

TEST(Report, FrameLinesPadCutAndPrintTheOffset) {
    EXPECT_EQ(lineFor(std::u16string(31, u'a'), 0), std::u16string(31, u'a') + u" +00000000\n");
    EXPECT_EQ(lineFor(std::u16string(32, u'b'), 0xFEDCBA98), std::u16string(31, u'b') + u"\u0085+FEDCBA98\n") << "cut, marked";
    EXPECT_EQ(lineFor(std::u16string(300, u'c'), 0).size(), size_t(kTraceLineUnits));
}

// A real error report: every line has the frame format, there are at most 16, and the
// test program itself appears among the modules.
TEST(Report, ErrorTraceHasTheFrameLineFormat) {
    RecordingSink recorder;
    report(&recorder.sink, kSystemError, 2);
    std::u16string trace = recorder.reports.at(0).trace;
    ASSERT_FALSE(trace.empty());
    EXPECT_LT(trace.size(), size_t(kTraceCapacity));
    size_t lines = 0;
    bool sawSelf = false;
    for (size_t start = 0; start < trace.size(); ++lines) {
        size_t end = trace.find(u'\n', start);
        ASSERT_NE(end, std::u16string::npos) << "every line ends in LF";
        std::u16string line = trace.substr(start, end - start + 1);
        start = end + 1;
        if (line == u"<unknown module>\n")
            continue;
        ASSERT_EQ(line.size(), size_t(kTraceLineUnits)) << narrow(line);
        sawSelf |= line.find(u"diag_tests") == 0;
    }
    EXPECT_LE(lines, size_t(kTraceFrames));
    EXPECT_TRUE(sawSelf) << narrow(trace);
}
