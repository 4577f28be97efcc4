#include "dialogue/number_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace trelvo {
namespace {

struct WholeCase {
  const char* text;
  int32_t value;
};

TEST(ParseWholeNumber, AcceptsSignedDecimalIntegers) {
  const WholeCase cases[] = {
      {"0", 0},
      {"7", 7},
      {"+7", 7},
      {"-7", -7},
      {"007", 7},
      {"-0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"+2147483647", 2147483647},
  };
  for (const WholeCase& c : cases) {
    auto parsed = parseWholeNumber(c.text);
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_EQ(*parsed, c.value) << c.text;
  }
}

TEST(ParseWholeNumber, RefusesAnythingElse) {
  const char* cases[] = {"",
                         "+",
                         "-",
                         "abc",
                         "1.5",
                         "3abc",
                         "1,0",
                         "1e3",
                         "+-5",
                         "-+5",
                         "--5",
                         "++5",
                         " 5",
                         "0x10",
                         "2147483648",
                         "-2147483649",
                         "99999999999999999999",
                         "five",
                         "1 ",
                         "\x01"};
  for (const char* text : cases) EXPECT_FALSE(parseWholeNumber(text).has_value()) << text;
}

struct DecimalCase {
  const char* text;
  float value;
};

TEST(ParseDecimal, AcceptsDecimalSpellings) {
  const float inf = std::numeric_limits<float>::infinity();
  const DecimalCase cases[] = {
      {"0", 0.0f},       {"2", 2.0f},
      {"-2", -2.0f},     {"+2", 2.0f},
      {"2.5", 2.5f},     {"2,5", 2.5f},
      {"-2,5", -2.5f},   {".5", 0.5f},
      {",5", 0.5f},      {"5.", 5.0f},
      {"5,", 5.0f},      {"1e3", 1000.0f},
      {"1E3", 1000.0f},  {"1e+3", 1000.0f},
      {"2.5e-1", 0.25f}, {"2,5E-1", 0.25f},
      {"0.1", 0.1f},     {"16777217", 16777216.0f},
      {"inf", inf},      {"-inf", -inf},
      {"INF", inf},      {"Infinity", inf},
      {"1e999", inf},    {"-1e999", -inf},
      {"1e-999", 0.0f},  {"3.4028235e38", 3.4028235e38f},
      {"1e-45", 1e-45f},
  };
  for (const DecimalCase& c : cases) {
    auto parsed = parseDecimal(c.text);
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_EQ(*parsed, c.value) << c.text;
  }
}

TEST(ParseDecimal, KeepsTheSignOfZeroAndOfNan) {
  EXPECT_TRUE(std::signbit(*parseDecimal("-0")));
  EXPECT_TRUE(std::signbit(*parseDecimal("-1e-999")));
  EXPECT_FALSE(std::signbit(*parseDecimal("0,0")));
  for (const char* text : {"nan", "NaN", "-nan", "+nan"}) {
    auto parsed = parseDecimal(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_TRUE(std::isnan(*parsed)) << text;
    EXPECT_EQ(std::signbit(*parsed), text[0] == '-') << text;
  }
}

// Plain decimals of every length around the limits of exact floats (2^24
// and ten decimals), against the C library's correctly rounded conversion,
// bit for bit.
TEST(ParseDecimal, PlainDecimalsRoundAsTheCLibrary) {
  uint64_t state = 88172645463325252u;
  auto nextDigits = [&](int count) {
    std::string digits;
    for (int i = 0; i < count; ++i) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      digits += static_cast<char>('0' + state % 10);
    }
    return digits;
  };
  for (int whole = 0; whole <= 9; ++whole) {
    for (int decimals = -1; decimals <= 12; ++decimals) {
      for (int k = 0; k < 2000; ++k) {
        if (whole == 0 && decimals <= 0) continue;
        std::string text(k % 3 == 0 ? "-" : "");
        text += nextDigits(whole);
        if (decimals >= 0) {
          text += k % 2 ? '.' : ',';
          text += nextDigits(decimals);
        }
        std::string cText = text;
        std::replace(cText.begin(), cText.end(), ',', '.');
        const float expected = std::strtof(cText.c_str(), nullptr);
        auto parsed = parseDecimal(text);
        ASSERT_TRUE(parsed.has_value()) << text;
        uint32_t got, want;
        std::memcpy(&got, &*parsed, 4);
        std::memcpy(&want, &expected, 4);
        ASSERT_EQ(got, want) << text;
      }
    }
  }
}

TEST(ParseDecimal, RefusesAnythingElse) {
  const char* cases[] = {"",     "+",     "-",     ".",     ",",       "e5",     "1e",
                         "1e+",  "1.2.3", "1,2,3", "1.2,3", "abc",     "3abc",   "1,5x",
                         "0x10", "--1",   "+-1",   "in",    "infinit", "nan(1)", "nanx",
                         "1 ",   "1e5.5", "e",     "1..2",  "∞"};
  for (const char* text : cases) EXPECT_FALSE(parseDecimal(text).has_value()) << text;
}

}  // namespace
}  // namespace trelvo
