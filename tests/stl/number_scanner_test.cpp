#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "stl/number_scanner.h"
#include "support/reference_scanner.h"

// The scanner it replaced is the yardstick: the same result, value bits, cursor and reports
// without a sink and with one answering either way. The spellings the readers meet (special
// values, separators, signs, the input ending at each step, what is no number), exponents
// and digit runs past every cap, numbers as exporters print them, and runs of digits that
// end just before, at and after eight digits and the 17-digit cap.
TEST(NumberScanner, AgreesBitForBitWithTheScannerItReplaced) {
    std::vector<std::string> texts = {
        "1,5", ".5", "5.", "-2.25e1x", "+3", "1E-3", "1e+2", "007", "1.5.5", "-1-2", "3.4028235e38", "1.4e-45", "-0", "-0e5", "-.0",
        "Infinity", "-Infinity", "+Infinityx", "Infinit", "inf", "INFINITY", "NaN", "-NaN", "nan", "+nan", "nano", "NAN",
        "-1.#IND00", "+1.#IND00", "0e400", "1e400", "-1e400", "1e-400", "1e40", "1e-46", "1e999999999", "1e-999999999",
        "", "-", "+", ".", "1e", "1e+", "1e-", "-,", "#", "x1", "\n1", "e5", "-e", ",x", "-.e", "1e+x", "1ex",
        std::string(100000, '9'), std::string(1000, '9') + "e-990"};
    const char* formats[] = {"%e", "%.9e", "%E", "%f", "%.12f", "%g", "%.17g", "%.3f"};
    u64 state = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 4000; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        double magnitude = std::ldexp(double(state >> 11) / double(1ull << 53), int(state % 140) - 70);
        char text[512];
        std::snprintf(text, sizeof text, formats[i % COUNT_OF(formats)], (state & 1) ? -magnitude : magnitude);
        texts.push_back(text);
    }
    for (size_t length = 1; length <= 40; ++length)
        for (char digit : {'0', '1', '9'}) {
            std::string run(length, digit), zeros(length, '0');
            texts.insert(texts.end(), {run, "0." + run, run + "," + run + "e-7", zeros + "123456789." + run, run + "." + std::string(length, '9')});
        }
    for (const std::string& text : texts)
        for (const std::string& input : {text + " ", text}) {  // the end of the input is a case of its own
            std::vector<u8> bytes(input.begin(), input.end());  // exact size: the sanitizers see a read past it
            const u8* end = bytes.data() + bytes.size();
            for (int answer : {-1, 0, 1})
                ASSERT_EQ(scanOnce(scanNumber, bytes.data(), end, answer), scanOnce(referenceScanNumber, bytes.data(), end, answer))
                    << input.substr(0, 80);
        }
    for (i32 exponent = -400; exponent <= 400; ++exponent)
        ASSERT_EQ(powerOfTen(exponent), referencePowerOfTen(exponent)) << exponent;
    EXPECT_EQ(powerOfTen(INT32_MIN), 0.0);
    EXPECT_EQ(powerOfTen(INT32_MAX), INFINITY);
}
