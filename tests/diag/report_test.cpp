#include <gtest/gtest.h>

#include <string>

#include "diag/report.h"
#include "support/sinks.h"

namespace {

std::u16string lineFor(const std::u16string& name, u32 offset) {
    Utf16 buffer[64];
    Utf16* end = writeFrameLine(buffer, name.data(), u32(name.size()), offset);
    return std::u16string(buffer, end);
}

struct TraceCatcher {
    std::u16string trace;
    bool sawTrace = false;
    ReportSink sink{this, [](void* context, ResultCode, uptr, const Utf16* trace) {
                        auto* self = static_cast<TraceCatcher*>(context);
                        self->sawTrace = trace != nullptr;
                        if (trace)
                            self->trace = trace;
                        return false;
                    }};
};

}  // namespace

TEST(Report, OnlyErrorsCarryATraceAndTheAnswerComesBack) {
    TraceCatcher catcher;
    EXPECT_FALSE(report(&catcher.sink, kUnexpectedEndOfFile, 7));
    EXPECT_FALSE(catcher.sawTrace);
    EXPECT_FALSE(report(&catcher.sink, kWrittenBy, 0));
    EXPECT_FALSE(catcher.sawTrace);
    EXPECT_FALSE(report(&catcher.sink, kOutOfMemory));
    EXPECT_TRUE(catcher.sawTrace);

    RecordingSink recorder;
    EXPECT_TRUE(report(&recorder.sink, kProgress, 42));
    ASSERT_EQ(recorder.reports.size(), 1u);
    EXPECT_EQ(recorder.reports[0].argument, 42u);
}

TEST(Report, FrameLinesPadCutAndPrintTheOffset) {
    std::u16string name31(31, u'a');
    std::u16string line = lineFor(name31, 0x1A2B);
    EXPECT_EQ(line, name31 + u" +00001A2B\n");
    EXPECT_EQ(line.size(), size_t(kTraceLineUnits));

    std::u16string name32(32, u'b');
    line = lineFor(name32, 0xFEDCBA98);
    EXPECT_EQ(line, std::u16string(31, u'b') + u"\u0085+FEDCBA98\n");

    EXPECT_EQ(lineFor(std::u16string(300, u'c'), 0).size(), size_t(kTraceLineUnits));
    EXPECT_EQ(lineFor(u"x.exe", 0), u"x.exe" + std::u16string(27, u' ') + u"+00000000\n");

    Utf16 buffer[32];
    Utf16* end = writeUnknownFrameLine(buffer);
    EXPECT_EQ(std::u16string(buffer, end), u"<unknown module>\n");
}

// A real error report: every line has the frame format, there are at most 16, and the
// test program itself appears among the modules.
TEST(Report, ErrorTraceHasTheFrameLineFormat) {
    TraceCatcher catcher;
    report(&catcher.sink, kSystemError, 2);
    ASSERT_TRUE(catcher.sawTrace);
    std::u16string trace = catcher.trace;
    ASSERT_FALSE(trace.empty());
    EXPECT_LE(trace.size(), size_t(kTraceCapacity - 1));
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
        EXPECT_EQ(line[32], u'+');
        for (size_t i = 33; i < 41; ++i)
            EXPECT_TRUE((line[i] >= u'0' && line[i] <= u'9') || (line[i] >= u'A' && line[i] <= u'F')) << narrow(line);
        sawSelf |= line.find(u"diag_tests") == 0;
    }
    EXPECT_GE(lines, 1u);
    EXPECT_LE(lines, size_t(kTraceFrames));
    EXPECT_TRUE(sawSelf) << narrow(trace);
}
