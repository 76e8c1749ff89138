#define __USE_MINGW_ANSI_STDIO 1  // mingw-w64's correctly rounded printf, not msvcrt's
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "format/digits.h"
#include "support/printf_digits.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <malloc.h>
// The process heap fails every allocation after `allocations` more succeed; -1 restores it.
void failProcessHeapAfter(i64 allocations);
#endif

// Four significant digits against printf's over `count` values from `next` (finite,
// nonzero): the mismatches, the first few of them as failures.
template <typename Next>
static int mismatches(int count, Next next) {
    int wrong = 0;
    for (int i = 0; i < count; ++i) {
        double value = next();
        if (!std::isfinite(value) || value == 0)
            continue;
        DecimalDigits d;
        generateDigits(value, 4, &d);
        int decpt;
        std::string want = printfDigits(value, 4, &decpt);
        if ((d.digits != want || d.decpt != decpt) && ++wrong <= 5)
            ADD_FAILURE() << std::hexfloat << value << std::defaultfloat << " (" << value << "): " << d.digits << " e" << d.decpt
                          << ", want " << want << " e" << decpt;
    }
    return wrong;
}

static double fromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

static size_t heapInUse() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage;
#else
    return mallinfo2().uordblks;
#endif
}

static std::string positional(double value) {
    char text[400];
    return std::string(text, writePositional(value, text));
}

// On four threads at once, the first with ten times the values of the others: the free
// lists and the cache of powers of five are shared. Random bits reach every exponent range;
// integers and dyadic fractions give ties at the fifth digit (12345, 1.0625), which take the
// big-integer path. (The digits fuzz target's seeds hold the other hard cases: powers of two
// and ten and their neighbours, subnormals, every digit count.)
TEST(Digits, MatchACorrectlyRoundedReferenceOnSeveralThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            std::mt19937_64 random(20261205 + t);
            int n = t ? 10000 : 100000;
            EXPECT_EQ(mismatches(15 * n, [&] { return fromBits(random()); }), 0);
            EXPECT_EQ(mismatches(2 * n, [&] { return double(random() % 100000000); }), 0);
            EXPECT_EQ(mismatches(2 * n, [&] { return std::ldexp(double(random() % 1000000), -int(random() % 30)); }), 0);
        });
    for (std::thread& thread : threads)
        thread.join();
}

TEST(Digits, PositionalText) {
    const std::pair<double, const char*> cases[] = {
        {5, "5.0"}, {123456, "123500.0"}, {0.000123456, "0.0001235"}, {-2.5, "-2.5"}, {0, "0.0"}, {-0.0, "-0.0"},
        {INFINITY, "Infinity"}, {-NAN, "-NaN"}, {1e-5, "0.00001"}, {99.995, "100.0"},  // a carry that makes a new digit
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(positional(value), text) << value;
    EXPECT_EQ(positional(1.7976931348623157e308).size(), 4u + 305u + 2u);
    EXPECT_LE(positional(-4.9e-324).size(), 330u);
}

// Ties and huge exponents take the big-integer path; a long run of them reuses freed
// numbers instead of growing the heap.
TEST(Digits, BigIntegersAreRecycled) {
    const double values[] = {1.0625, 2.0625, 1e300 * 1.0625, 3.0625e-300, 1.5e-310, 123456789.0625};
    DecimalDigits d;
    for (double v : values)
        generateDigits(v, 4, &d);
    size_t before = heapInUse();
    for (int i = 0; i < 300000; ++i)
        generateDigits(values[i % 6], 4, &d);
    EXPECT_LT(heapInUse(), before + 256 * 1024);
}

#ifndef _WIN32
// Without big integers the digits come from double arithmetic: no crash, and right for
// values that are not within a hair of a tie.
TEST(Digits, ExhaustedHeap) {
    const std::tuple<double, const char*, int> cases[] = {{1.0625, "1062", 1}, {1e300, "1", 301}, {7.123456e-300, "7123", -299}};
    for (const auto& [value, digits, decpt] : cases) {
        failProcessHeapAfter(0);
        DecimalDigits d;
        generateDigits(value, 4, &d);
        failProcessHeapAfter(-1);
        EXPECT_STREQ(d.digits, digits) << value;
        EXPECT_EQ(d.decpt, decpt) << value;
    }
}
#endif
