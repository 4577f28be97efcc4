#include "kernels/exact/decimal.h"

#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace trelvo::kernels {
namespace {

// Up to 10^12 a float times a power of ten, and the half-way points around
// it, are exact in a double: 25 bits of mantissa and 28 bits of 5^k.
constexpr int kMostExactFractionDigits = 12;

// Where the decimals that read back as a positive float x lie: within
// `above` over it and `below` under it, the ends themselves only when x's
// last bit is even (reading rounds a tie to even).
struct RoundingInterval {
  double above;
  double below;
  bool endsIncluded;
  bool lopsided;

  explicit RoundingInterval(float x) {
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const int exponentField = static_cast<int>(bits >> 23);
    // 2^(e - 150), built from its bits: no library call.
    const auto power = static_cast<uint64_t>(std::max(exponentField, 1) - 150 + 1023);
    const double spacing = std::bit_cast<double>(power << 52);
    const bool powerOfTwo = (bits & 0x7fffff) == 0 && exponentField > 1;
    above = spacing / 2;
    below = powerOfTwo ? spacing / 4 : spacing / 2;
    lopsided = powerOfTwo;
    endsIncluded = (bits & 1) == 0;
  }

  // Whether `distance` (candidate minus x) reads back as x, both scaled.
  bool holds(double distance, double scale) const {
    const double limit = (distance > 0 ? above : below) * scale;
    const double d = std::fabs(distance);
    return d < limit || (d == limit && endsIncluded);
  }
};

// The whole number nearest x, ties to even, for 0 <= x < 2^51: adding and
// taking away 1.5 * 2^52 rounds in the processor's own mode, without a
// library call.
double nearestWhole(double x) {
  constexpr double kRound = 6755399441055744.0;
  return (x + kRound) - kRound;
}

// Most numbers typed have one or two decimals. Below 2^17, where floats lie
// closer than 1/100, at most one number of hundredths reads back as x, and
// the nearest does if any does; one of tenths, if any, is that one too.
std::optional<int64_t> nearestHundredths(float magnitude, const RoundingInterval& interval) {
  if (magnitude >= 131072.0f) return std::nullopt;
  const double scaled = static_cast<double>(magnitude) * 100.0;
  const double nearest = nearestWhole(scaled);
  if (nearest == 0.0 || !interval.holds(nearest - scaled, 100.0)) return std::nullopt;
  return static_cast<int64_t>(nearest);
}

// The shortest decimal with at most 12 digits after the point, found in
// doubles: the first k for which a whole number near x * 10^k reads back.
std::optional<Decimal> fewFractionDigits(float x) {
  constexpr double kLargestRounded = 2251799813685248.0;  // 2^51
  const float magnitude = std::fabs(x);
  const RoundingInterval interval(magnitude);
  if (const std::optional<int64_t> hundredths = nearestHundredths(magnitude, interval)) {
    const bool tenths = *hundredths % 10 == 0;
    const int64_t digits = tenths ? *hundredths / 10 : *hundredths;
    return Decimal{x < 0 ? -digits : digits, tenths ? -1 : -2};
  }
  double scale = 1.0;
  for (int k = 1; k <= kMostExactFractionDigits; ++k) {
    scale *= 10.0;
    const double scaled = static_cast<double>(magnitude) * scale;
    if (scaled >= kLargestRounded) break;
    const double nearest = nearestWhole(scaled);
    double found = 0.0;
    if (interval.holds(nearest - scaled, scale)) {
      found = nearest;
    } else if (interval.lopsided) {
      // Only where the floats below are twice as close can the farther
      // neighbour read back when the nearer does not.
      const double other = nearest > scaled ? nearest - 1.0 : nearest + 1.0;
      if (interval.holds(other - scaled, scale)) found = other;
    }
    if (found > 0.0) {
      const auto digits = static_cast<int64_t>(found);
      return Decimal{x < 0 ? -digits : digits, -k};
    }
  }
  return std::nullopt;
}

// From the text std::to_chars writes, in scientific form: "d.ddde+XX".
Decimal fromText(float x) {
  char text[32];
  const auto written =
      std::to_chars(text, text + sizeof text - 1, x, std::chars_format::scientific);
  assert(written.ec == std::errc());
  char* end = written.ptr;
  *end = '\0';
  const char* c = text;
  const bool negative = *c == '-';
  if (negative) ++c;
  int64_t digits = 0;
  int digitsAfterPoint = 0;
  bool afterPoint = false;
  for (; c < end && *c != 'e'; ++c) {
    if (*c == '.') {
      afterPoint = true;
      continue;
    }
    digits = digits * 10 + (*c - '0');
    digitsAfterPoint += afterPoint;
  }
  const int exponent = c < end ? std::atoi(c + 1) : 0;
  return Decimal{negative ? -digits : digits, exponent - digitsAfterPoint};
}

}  // namespace

Decimal shortestDecimal(float x) {
  assert(std::isfinite(x));
  if (isSmallWhole(x)) return Decimal{static_cast<int64_t>(x), 0};
  if (std::fabs(x) < 16777216.0f) {
    if (const std::optional<Decimal> d = fewFractionDigits(x)) return *d;
  }
  return fromText(x);
}

}  // namespace trelvo::kernels
