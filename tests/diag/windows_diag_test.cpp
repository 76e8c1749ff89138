#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "diag/stack_trace_win.h"
#include "stl/heap.h"
#include "support/sinks.h"
#include "support/system_text_win.h"

TEST(WindowsDiag, SystemErrorsReadAsTheSystemWritesThem) {
    for (DWORD error : {2u, 5u, 32u}) {
        TranslatingSink chain;
        report(&chain.sink, kSystemError, error);
        ASSERT_EQ(chain.recorder.lines().size(), 1u);
        std::u16string expected = systemText(error);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(chain.recorder.lines()[0], expected);
        EXPECT_EQ(expected.find(u'\n'), std::u16string::npos);
    }
    TranslatingSink chain;
    report(&chain.sink, kSystemError, 0x2000ABCD);
    EXPECT_EQ(chain.recorder.lines().at(0), u"Windows error 536914893");
}

TEST(WindowsDiag, AnAddressOutsideEveryModuleGetsTheUnknownLine) {
    void* orphan = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(orphan, nullptr);
    HMODULE self = GetModuleHandleW(nullptr);
    void* frames[] = {reinterpret_cast<char*>(self) + 0x1A2B, orphan, reinterpret_cast<char*>(self) + 0x10};
    Utf16 buffer[kTraceCapacity];
    Utf16* end = writeTraceLines(buffer, frames, 3);
    std::u16string name = u"diag_tests.exe";
    std::u16string padded = name + std::u16string(32 - name.size(), u' ');
    EXPECT_EQ(std::u16string(buffer, end),
              padded + u"+00001A2B\n" + u"<unknown module>\n" + padded + u"+00000010\n");
    VirtualFree(orphan, 0, MEM_RELEASE);
}

TEST(WindowsDiag, ProcessHeapIsStoredBeforeMain) {
    EXPECT_EQ(processHeap, GetProcessHeap());
}
