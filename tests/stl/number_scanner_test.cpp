#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "stl/number_scanner.h"
#include "support/exact_bytes.h"
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

const f32 kUntouched = -12345.0f;

// The text is the whole input from the cursor on.
Scan scan(const std::string& text, bool answer = true, bool withSink = true) {
    ExactBytes bytes(text);
    const u8* cursor = bytes.begin();
    RecordingSink recorder;
    recorder.answer = answer;
    f32 value = kUntouched;
    i32 result = scanNumber(&value, &cursor, bytes.end(), withSink ? &recorder.sink : nullptr);
    return Scan{result, value, size_t(cursor - bytes.begin()), recorder.codes()};
}

const u32 kNegativeQuietNaN = 0xFFC00000;

}  // namespace

TEST(NumberScanner, ValuesAndWhatTheyConsume) {
    const struct {
        const char* text;
        f32 value;
        size_t consumed;
    } cases[] = {
        {"1.5 ", 1.5f, 3},       {"1,5", 1.5f, 3},        {".5", 0.5f, 2},        {"5.", 5.0f, 2},
        {"-2.25e1x", -22.5f, 7}, {"+3", 3.0f, 2},         {"1e5", 100000.0f, 3},  {"1E-3", 0.001f, 4},
        {"1e+2", 100.0f, 4},     {"007", 7.0f, 3},        {"1.5.5", 1.5f, 3},     {"-1-2", -1.0f, 2},
        {"0.000001", 1e-6f, 8},  {"123456789", 123456789.0f, 9},  {"3.4028235e38", 3.4028235e38f, 12},
        {"-Infinity", -INFINITY, 9}, {"Infinity", INFINITY, 8},   {"+Infinityx", INFINITY, 9},
        {"-1.#IND00", -1.0f, 3}, {"+1.#IND00 ", 1.0f, 3},  // the old spelling needs a sign, 8 bytes and one more
        // Digits after the 17th are dropped; exponents saturate; float overflow and underflow.
        {"12345678901234567890", f32(12345678901234567.0 * 1000.0), 20},
        {"1e400", INFINITY, 5},  {"-1e400", -INFINITY, 6}, {"1e-400", 0.0f, 6}, {"1e40", INFINITY, 4}, {"1e-46", 0.0f, 5},
        {"1e999999999", INFINITY, 11}, {"1e-999999999", 0.0f, 12},
    };
    for (const auto& c : cases) {
        Scan s = scan(c.text);
        EXPECT_EQ(s.result, kScanValue) << c.text;
        EXPECT_EQ(s.value, c.value) << c.text;
        EXPECT_EQ(s.consumed, c.consumed) << c.text;
        EXPECT_TRUE(s.reports.empty()) << c.text;
    }
    EXPECT_EQ(bitsOf(scan("1.4e-45").value), 1u) << "rounds to the smallest subnormal";
    for (const char* zero : {"-0", "-0.0", "-0e5", "-.0"})
        EXPECT_EQ(bitsOf(scan(zero).value), 0u) << zero << " gives +0";
    EXPECT_EQ(scan(std::string(100000, '9')).value, INFINITY);
    EXPECT_EQ(scan(std::string(1000, '9') + "e-990").value, 1e10f) << "dropped digits raise the exponent";
    EXPECT_TRUE(std::isnan(scan("0e400").value)) << "zero times infinity";
}

TEST(NumberScanner, NaNSpellings) {
    for (const char* text : {"-1.#IND00 ", "NaN", "-NaN", "nan", "+nan ", "nano"}) {
        Scan s = scan(text);
        EXPECT_EQ(s.result, kScanValue) << text;
        EXPECT_EQ(bitsOf(s.value), kNegativeQuietNaN) << text;
    }
    EXPECT_EQ(scan("-1.#IND00 ").consumed, 9u);
    EXPECT_EQ(scan("nano").consumed, 3u) << "nothing after a special value is looked at";
}

TEST(NumberScanner, NotANumber) {
    for (const char* text : {"NAN", "inf", "Inf", "INFINITY", "Infinit", "#", "x1", "\n1", "e5", "-e", ". ", ",x", "-.e", "1e ",
                             "1e+x", "1ex"}) {
        Scan s = scan(text);
        EXPECT_EQ(s.result, kScanFailed) << text;
        EXPECT_EQ(s.value, kUntouched) << "nothing stored: " << text;
        EXPECT_TRUE(s.reports.empty()) << text;
    }
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
    for (const char* text : {"1", "1.", "1e5"})
        EXPECT_EQ(scan(text).result, kScanValue) << "the end of the input completes " << text;
}

TEST(NumberScanner, PowersOfTen) {
    f64 exact = 1.0;
    for (i32 e = 0; e <= 22; exact *= 10, ++e) {
        EXPECT_EQ(powerOfTen(e), exact) << e;
        EXPECT_EQ(powerOfTen(-e), 1.0 / exact) << e;
    }
    for (i32 e = 23; e <= 308; ++e)
        ASSERT_NEAR(powerOfTen(e) / std::pow(10.0, e), 1.0, 1e-14) << e;
    EXPECT_EQ(powerOfTen(309), INFINITY);
    EXPECT_EQ(powerOfTen(-309), 0.0);
    EXPECT_EQ(powerOfTen(INT32_MIN), 0.0);
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
            ExactBytes bytes(input);
            const u8* end = bytes.end();
            const u8* newCursor = bytes.begin();
            const u8* oldCursor = bytes.begin();
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
