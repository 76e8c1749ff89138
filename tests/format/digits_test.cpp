// The reference for the digits is the C library's "%.3e": glibc's in the native build and
// mingw-w64's own correctly rounded printf on Windows (msvcrt's is not correctly rounded).
#define __USE_MINGW_ANSI_STDIO 1
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "format/digits.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <malloc.h>
#include "support/heap_faults.h"
#endif

namespace {

struct Reference {
    std::string digits;
    int decpt;
};

// Four significant digits, ties to even, trailing zeros removed.
Reference reference(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3e", std::fabs(value));
    std::string digits = std::string(1, text[0]) + std::string(text + 2, 3);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    return {digits, std::atoi(std::strchr(text, 'e') + 1) + 1};
}

std::string digitsOf(double value, int* decpt, bool* negative = nullptr) {
    DecimalDigits d;
    generateDigits(value, 4, &d);
    *decpt = d.decpt;
    if (negative)
        *negative = d.negative;
    return std::string(d.digits, d.count);
}

// Mismatches against the reference over `count` values from `next` (finite, nonzero); the
// first few are printed. Safe on several threads when `report` is false.
template <typename Next>
int mismatches(int count, Next next, bool report = true) {
    int wrong = 0;
    for (int i = 0; i < count; ++i) {
        double value = next();
        if (!std::isfinite(value) || value == 0)
            continue;
        int decpt;
        std::string digits = digitsOf(value, &decpt);
        Reference want = reference(value);
        if ((digits != want.digits || decpt != want.decpt) && ++wrong <= 5 && report)
            ADD_FAILURE() << std::hexfloat << value << std::defaultfloat << " (" << value << "): " << digits << " e" << decpt
                          << ", want " << want.digits << " e" << want.decpt;
    }
    return wrong;
}

double fromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

std::string positional(double value) {
    char text[400];
    return std::string(text, writePositional(value, text));
}

}  // namespace

TEST(Digits, MatchACorrectlyRoundedReference) {
    std::mt19937_64 random(20261205);
    // Every exponent range, subnormals included: uniformly random bits.
    EXPECT_EQ(mismatches(1500000, [&] { return fromBits(random()); }), 0);
    // Subnormals and the smallest normals.
    EXPECT_EQ(mismatches(100000, [&] { return fromBits(random() & 0x001FFFFFFFFFFFFFull); }), 0);
    // Integers, where ties at the fifth digit are common (12345 -> 1234, 12355 -> 1236).
    EXPECT_EQ(mismatches(200000, [&] { return double(random() % 100000000); }), 0);
    // Dyadic fractions with short decimal expansions: exact ties such as 1.0625.
    EXPECT_EQ(mismatches(200000, [&] { return std::ldexp(double(random() % 1000000), -int(random() % 30)); }), 0);
    // Powers of two and ten, and their neighbours.
    EXPECT_EQ(mismatches(2 * 2098, [&, e = -1075] () mutable { ++e; return std::ldexp(1.0, e / 2) * (e % 2 ? 1.0 : std::nextafter(1.0, 2.0)); }), 0);
    EXPECT_EQ(mismatches(3 * 617, [&, e = -309 * 3] () mutable { ++e; double p = std::pow(10.0, e / 3);
        return e % 3 == 0 ? p : e % 3 == 1 ? std::nextafter(p, 0.0) : std::nextafter(p, 1e309); }), 0);
}

TEST(Digits, SpecialValuesAndSigns) {
    const struct {
        double value;
        const char* digits;
        int decpt;
        bool negative;
    } cases[] = {
        {0.0, "0", 1, false}, {-0.0, "0", 1, true}, {INFINITY, "Infinity", 9999, false}, {-NAN, "NaN", 9999, true},
        {9999.5, "1", 5, false},  // rounding up carries into a new leading digit
        {0.099995, "1", 0, false},
    };
    for (const auto& c : cases) {
        int decpt;
        bool negative;
        EXPECT_EQ(digitsOf(c.value, &decpt, &negative), c.digits) << c.value;
        EXPECT_EQ(decpt, c.decpt) << c.value;
        EXPECT_EQ(negative, c.negative) << c.value;
    }
}

TEST(Digits, PositionalText) {
    const std::pair<double, const char*> cases[] = {
        {5, "5.0"},          {1200, "1200.0"},    {0.05, "0.05"},          {123456, "123500.0"},
        {0.000123456, "0.0001235"}, {-2.5, "-2.5"}, {12345, "12340.0"},   {0, "0.0"},
        {0.0125, "0.0125"},  {1.25, "1.25"},      {-0.0, "-0.0"},          {INFINITY, "Infinity"},
        {1e-5, "0.00001"},   {99.995, "100.0"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(positional(value), text) << value;
    EXPECT_EQ(positional(1.7976931348623157e308).size(), 4u + 305u + 2u);
    EXPECT_LE(positional(-4.9e-324).size(), 330u);
}

// Several threads at once: the free lists and the cache of powers of five are shared.
TEST(Digits, SafeOnSeveralThreads) {
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            std::mt19937_64 random(t + 1);
            int i = 0;
            wrong[t] = mismatches(50000, [&] {
                return ++i % 2 ? fromBits(random()) : std::ldexp(double(random() % 100000), -int(random() % 20)); }, false);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

namespace {

size_t heapInUse() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage;
#else
    return mallinfo2().uordblks;
#endif
}

}  // namespace

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
    size_t after = heapInUse();
    EXPECT_LT(after > before ? after - before : 0, size_t(256 * 1024));
}

#ifndef _WIN32
// Without big integers the digits come from double arithmetic: no crash, and right for
// values that are not within a hair of a tie.
TEST(Digits, ExhaustedHeap) {
    const std::pair<double, const char*> cases[] = {{1.0625, "1062"}, {2.0625, "2062"}, {1e300, "1"}, {7.123456e-300, "7123"}};
    for (const auto& [value, digits] : cases) {
        failProcessHeapAfter(0);
        DecimalDigits d;
        generateDigits(value, 4, &d);
        failProcessHeapAfter(-1);
        EXPECT_STREQ(d.digits, digits) << value;
        EXPECT_EQ(d.decpt, reference(value).decpt) << value;
    }
}
#endif
