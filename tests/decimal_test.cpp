// The shortest decimal of a float, found in doubles where it can be,
// against the text std::to_chars writes for it.
#include "kernels/exact/decimal.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace trelvo::kernels {
namespace {

// digits * 10^exponent as std::to_chars would write it, in scientific form.
std::string written(Decimal d) {
  for (; d.digits != 0 && d.digits % 10 == 0; d.digits /= 10) ++d.exponent;
  std::string digits = std::to_string(d.digits < 0 ? -d.digits : d.digits);
  const int exponent = d.exponent + static_cast<int>(digits.size()) - 1;
  if (digits.size() > 1) digits.insert(1, ".");
  char e[16];
  std::snprintf(e, sizeof e, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return (d.digits < 0 ? "-" : "") + digits + e;
}

std::string toChars(float x) {
  char text[32];
  char* end = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific).ptr;
  return std::string(text, end);
}

TEST(ShortestDecimal, KnownValues) {
  struct Case {
    float x;
    int64_t digits;
    int exponent;
  };
  const Case cases[] = {
      {0.1f, 1, -1},
      {0.3f, 3, -1},
      {-2.5f, -25, -1},
      {7.0f, 7, 0},
      {-16777216.0f, -16777216, 0},
      {1073741824.0f, 10737418, 2},
      {0.0f, 0, 0},
      {1e-45f, 1, -45},
      {123456.79f, 12345679, -2},
      {0.33333334f, 33333334, -8},
  };
  for (const Case& c : cases) {
    const Decimal d = shortestDecimal(c.x);
    EXPECT_EQ(d.digits, c.digits) << c.x;
    EXPECT_EQ(d.exponent, c.exponent) << c.x;
  }
}

// Every kind of float: typed decimals of one to six digits, powers of two
// (where the floats below are twice as close), halves and random bits.
TEST(ShortestDecimal, IsWhatToCharsWrites) {
  std::mt19937 random(7);
  auto expectSame = [](float x) {
    if (!std::isfinite(x) || x == 0.0f) return;
    ASSERT_EQ(written(shortestDecimal(x)), toChars(x)) << std::bit_cast<uint32_t>(x);
  };
  for (int places = 1; places <= 6; ++places) {
    std::uniform_int_distribution<int> digits(-999999, 999999);
    for (int k = 0; k < 20000; ++k) {
      expectSame(std::stof(std::to_string(digits(random)) + "e-" + std::to_string(places)));
    }
  }
  for (int e = -149; e < 128; ++e) {
    const float power = std::ldexp(1.0f, e);
    for (float x : {power, std::nextafter(power, 0.0f), std::nextafter(power, INFINITY)}) {
      expectSame(x);
      expectSame(-x);
    }
  }
  for (int k = -40000; k <= 40000; ++k) expectSame(static_cast<float>(k) + 0.5f);
  for (int k = 0; k < 300000; ++k)
    expectSame(std::bit_cast<float>(static_cast<uint32_t>(random())));
  for (int k = 0; k < 300000; ++k) {
    // Floats between 10^-4 and 10^7, where the shortest decimal is found in doubles.
    expectSame(std::exp(std::uniform_real_distribution<float>(-9.2f, 16.1f)(random)));
  }
}

// The inline way for numbers of hundredths: when it answers, its answer is
// the shortest decimal's value, times 100.
TEST(ShortestDecimal, HundredthsAreTheShortestDecimalsValue) {
  std::mt19937 random(8);
  int answered = 0;
  auto expectSame = [&](float x) {
    const std::optional<double> h = hundredthsOf(x);
    if (!h) return;
    ++answered;
    Decimal d = shortestDecimal(x);
    for (; d.exponent > -2; --d.exponent) d.digits *= 10;
    ASSERT_EQ(d.exponent, -2) << x;
    ASSERT_EQ(static_cast<double>(d.digits), *h) << x;
  };
  std::uniform_int_distribution<int> digits(-999999, 999999);
  for (int k = 0; k < 200000; ++k) {
    expectSame(std::stof(std::to_string(digits(random)) + "e-" + std::to_string(1 + k % 4)));
    expectSame(std::bit_cast<float>(static_cast<uint32_t>(random())));
  }
  for (int e = -20; e < 18; ++e) {
    const float power = std::ldexp(1.0f, e);
    for (float x : {power, std::nextafter(power, 0.0f), std::nextafter(power, INFINITY)}) {
      expectSame(x);
      expectSame(-x);
    }
  }
  EXPECT_GT(answered, 90000);
}

}  // namespace
}  // namespace trelvo::kernels
