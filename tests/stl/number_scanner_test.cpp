#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "stl/number_scanner.h"
#include "support/reference_scanner.h"
#include "support/sinks.h"

namespace {

u32 bitsOf(f32 value) {
    u32 bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

struct Scan {
    i32 result;
    f32 value;
    size_t consumed;
    std::vector<ResultCode> reports;
};

// The text is the whole input from the cursor on, in an exact-size copy so that the
// sanitizers catch a read past its end.
Scan scan(const std::string& text, bool answer = true, bool withSink = true) {
    std::unique_ptr<u8[]> bytes(new u8[text.size() + 1]);
    std::memcpy(bytes.get(), text.data(), text.size());
    const u8* cursor = bytes.get();
    RecordingSink recorder;
    recorder.answer = answer;
    f32 value = -12345.0f;
    i32 result = scanNumber(&value, &cursor, bytes.get() + text.size(), withSink ? &recorder.sink : nullptr);
    return Scan{result, value, size_t(cursor - bytes.get()), recorder.codes()};
}

const u32 kNegativeQuietNaN = 0xFFC00000;

}  // namespace

TEST(NumberScanner, PlainNumbersAndSeparators) {
    const struct {
        const char* text;
        f32 value;
        size_t consumed;
    } cases[] = {
        {"1.5 ", 1.5f, 3},       {"1,5", 1.5f, 3},        {".5", 0.5f, 2},        {"5.", 5.0f, 2},
        {"-2.25e1x", -22.5f, 7}, {"+3", 3.0f, 2},         {"1e5", 100000.0f, 3},  {"1E-3", 0.001f, 4},
        {"1e+2", 100.0f, 4},     {"007", 7.0f, 3},        {"1.5.5", 1.5f, 3},     {"-1-2", -1.0f, 2},
        {"0.000001", 1e-6f, 8},  {"123456789", 123456789.0f, 9},
        {"3.4028235e38", 3.4028235e38f, 12},
    };
    for (const auto& c : cases) {
        Scan s = scan(c.text);
        EXPECT_EQ(s.result, kScanValue) << c.text;
        EXPECT_EQ(s.value, c.value) << c.text;
        EXPECT_EQ(s.consumed, c.consumed) << c.text;
        EXPECT_TRUE(s.reports.empty()) << c.text;
    }
}

TEST(NumberScanner, SpecialSpellings) {
    Scan ind = scan("-1.#IND00 ");
    EXPECT_EQ(ind.result, kScanValue);
    EXPECT_EQ(bitsOf(ind.value), kNegativeQuietNaN);
    EXPECT_EQ(ind.consumed, 9u);

    Scan shortInd = scan("-1.#IND00");  // only 8 bytes after the sign
    EXPECT_EQ(shortInd.value, -1.0f);
    EXPECT_EQ(shortInd.consumed, 3u) << "stops on the number sign";
    Scan plusInd = scan("+1.#IND00 ");
    EXPECT_EQ(plusInd.value, 1.0f);
    EXPECT_EQ(plusInd.consumed, 3u);

    for (const char* text : {"NaN", "-NaN", "nan", "+nan "}) {
        Scan s = scan(text);
        EXPECT_EQ(s.result, kScanValue) << text;
        EXPECT_EQ(bitsOf(s.value), kNegativeQuietNaN) << text;
    }
    Scan nano = scan("nano");
    EXPECT_EQ(bitsOf(nano.value), kNegativeQuietNaN);
    EXPECT_EQ(nano.consumed, 3u) << "nothing after a special value is looked at";

    EXPECT_EQ(scan("-Infinity").value, -INFINITY);
    EXPECT_EQ(scan("Infinity").value, INFINITY);
    EXPECT_EQ(scan("+Infinityx").consumed, 9u);
    for (const char* text : {"NAN", "inf", "Inf", "INFINITY", "Infinit", "#", "x1", "\n1", "e5", "-e"}) {
        Scan s = scan(text);
        EXPECT_EQ(s.result, kScanFailed) << text;
        EXPECT_EQ(s.value, -12345.0f) << "nothing stored: " << text;
        EXPECT_TRUE(s.reports.empty()) << text;
    }
}

TEST(NumberScanner, SeparatorsAndExponentsNeedDigits) {
    for (const char* text : {". ", ",x", "-.e", "1e ", "1e+x", "1ex"}) {
        EXPECT_EQ(scan(text).result, kScanFailed) << text;
    }
}

TEST(NumberScanner, LimitsOfTheMantissaAndExponent) {
    Scan twenty = scan("12345678901234567890");
    EXPECT_EQ(twenty.value, f32(12345678901234567.0 * 1000.0)) << "digits after the 17th are dropped";

    EXPECT_TRUE(std::isnan(scan("0e400").value)) << "zero times infinity";
    EXPECT_EQ(scan("1e400").value, INFINITY);
    EXPECT_EQ(scan("-1e400").value, -INFINITY);
    EXPECT_EQ(scan("1e-400").value, 0.0f);
    EXPECT_EQ(scan("1e999999999").value, INFINITY) << "the accumulator stops growing";
    EXPECT_EQ(scan("1e-999999999").value, 0.0f);
    EXPECT_EQ(scan("1e40").value, INFINITY) << "float overflow";
    EXPECT_EQ(scan("1e-46").value, 0.0f);
    EXPECT_EQ(bitsOf(scan("1.4e-45").value), 1u) << "rounds to the smallest subnormal";

    for (const char* zero : {"-0", "-0.0", "-0e5", "-.0"})
        EXPECT_EQ(bitsOf(scan(zero).value), 0u) << zero << " gives +0";

    std::string manyDigits(100000, '9');
    EXPECT_EQ(scan(manyDigits).value, INFINITY);
    EXPECT_EQ(scan(std::string(1000, '9') + "e-990").value, 1e10f) << "dropped digits raise the exponent";
}

TEST(NumberScanner, EndOfInputWarnsAndTheAnswerDecides) {
    for (const char* text : {"", "-", "+", ".", "1e", "1e+", "1e-", "-,"}) {
        Scan goOn = scan(text);
        EXPECT_EQ(goOn.result, kScanEnded) << '"' << text << '"';
        EXPECT_EQ(goOn.reports, std::vector<ResultCode>{kUnexpectedEndOfFile}) << text;
        EXPECT_EQ(goOn.consumed, std::strlen(text)) << text;
        EXPECT_EQ(scan(text, /*answer=*/false).result, kScanFailed) << text;
        EXPECT_EQ(scan(text, true, /*withSink=*/false).result, kScanEnded) << text;
    }
    // A number that the end of the input completes is a value, not a warning.
    for (const char* text : {"1", "1.", "1.5", "1e5", "-3"}) {
        Scan s = scan(text);
        EXPECT_EQ(s.result, kScanValue) << text;
        EXPECT_TRUE(s.reports.empty()) << text;
    }
}

TEST(NumberScanner, PowersOfTen) {
    EXPECT_EQ(powerOfTen(0), 1.0);
    EXPECT_EQ(powerOfTen(22), 1e22);
    EXPECT_EQ(powerOfTen(-3), 1.0 / 1000.0);
    EXPECT_EQ(powerOfTen(308) > 1e307, true);
    EXPECT_EQ(powerOfTen(309), INFINITY);
    EXPECT_EQ(powerOfTen(-309), 0.0);
    EXPECT_EQ(powerOfTen(INT32_MIN), 0.0);
    // Above 10^22 the squarings round: the result is that of square-and-multiply.
    double result = 1.0, base = 10.0;
    for (u32 bits = 23; bits; bits >>= 1, base *= base)
        if (bits & 1)
            result *= base;
    EXPECT_EQ(powerOfTen(23), result);
}

// The scanner it replaced is the yardstick. Spellings as exporters write them, exponents
// on both sides of the tables' reach, and runs of digits that end just before, at and
// after eight digits and the 17-digit cap.
TEST(NumberScanner, AgreesBitForBitWithTheScannerItReplaced) {
    std::vector<std::string> texts;
    const char* formats[] = {"%e", "%.9e", "%E", "%f", "%.12f", "%g", "%.17g", "%.3f"};
    u64 state = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 4000; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        double magnitude = std::ldexp(double(state >> 11) / double(1ull << 53), int(state % 140) - 70);
        char text[512];
        std::snprintf(text, sizeof text, formats[i % COUNT_OF(formats)], (state & 1) ? -magnitude : magnitude);
        texts.push_back(text);
    }
    for (size_t length = 1; length <= 40; ++length) {
        for (char digit : {'0', '1', '9'}) {
            std::string run(length, digit);
            texts.push_back(run);
            texts.push_back("0." + run);
            texts.push_back(run + "," + run + "e-7");
            texts.push_back(std::string(length, '0') + "123456789" + "." + run);
            texts.push_back(run + "." + std::string(length, '9'));
        }
    }
    for (const std::string& text : texts) {
        // Each with a blank after it and alone: the end of the input is a case of its own.
        for (const std::string& input : {text + " ", text}) {
            std::unique_ptr<u8[]> bytes(new u8[input.size()]);
            std::memcpy(bytes.get(), input.data(), input.size());
            const u8* end = bytes.get() + input.size();
            const u8* newCursor = bytes.get();
            const u8* oldCursor = bytes.get();
            f32 newValue = 0, oldValue = 0;
            i32 newResult = scanNumber(&newValue, &newCursor, end, nullptr);
            i32 oldResult = referenceScanNumber(&oldValue, &oldCursor, end, nullptr);
            ASSERT_EQ(newResult, oldResult) << input;
            ASSERT_EQ(bitsOf(newValue), bitsOf(oldValue)) << input;
            ASSERT_EQ(newCursor, oldCursor) << input;
        }
    }
    for (i32 exponent = -400; exponent <= 400; ++exponent)
        ASSERT_EQ(powerOfTen(exponent), referencePowerOfTen(exponent)) << exponent;
}
