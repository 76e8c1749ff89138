#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "diag/stack_trace_win.h"
#include "support/sinks.h"
#include "support/system_text_win.h"

// The system's text without its line breaks (other tests compare whole lines with it), and
// a number the system has no text for.
TEST(WindowsDiag, SystemErrorsReadAsTheSystemWritesThem) {
    TranslatingSink chain;
    report(&chain.sink, kSystemError, ERROR_ACCESS_DENIED);
    report(&chain.sink, kSystemError, 0x2000ABCD);
    EXPECT_EQ(chain.recorder.lines(), (std::vector<std::u16string>{systemText(ERROR_ACCESS_DENIED), u"Windows error 536914893"}));
    EXPECT_EQ(chain.recorder.lines()[0].find_first_of(u"\r\n"), std::u16string::npos);
}

TEST(WindowsDiag, AnAddressOutsideEveryModuleGetsTheUnknownLine) {
    void* orphan = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(orphan, nullptr);
    HMODULE self = GetModuleHandleW(nullptr);
    void* frames[] = {reinterpret_cast<char*>(self) + 0x1A2B, orphan, reinterpret_cast<char*>(self) + 0x10};
    Utf16 buffer[kTraceCapacity];
    Utf16* end = writeTraceLines(buffer, frames, 3);
    std::u16string padded = u"diag_tests.exe" + std::u16string(32 - 14, u' ');
    EXPECT_EQ(std::u16string(buffer, end), padded + u"+00001A2B\n" + u"<unknown module>\n" + padded + u"+00000010\n");
    VirtualFree(orphan, 0, MEM_RELEASE);
}
