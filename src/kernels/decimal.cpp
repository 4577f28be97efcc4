#include "kernels/decimal.h"

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

  explicit RoundingInterval(float x) {
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const int exponentField = static_cast<int>(bits >> 23);
    const double spacing = std::ldexp(1.0, std::max(exponentField, 1) - 150);
    const bool powerOfTwo = (bits & 0x7fffff) == 0 && exponentField > 1;
    above = spacing / 2;
    below = powerOfTwo ? spacing / 4 : spacing / 2;
    endsIncluded = (bits & 1) == 0;
  }

  // Whether `distance` (candidate minus x) reads back as x, both scaled.
  bool holds(double distance, double scale) const {
    const double limit = (distance > 0 ? above : below) * scale;
    const double d = std::fabs(distance);
    return d < limit || (d == limit && endsIncluded);
  }
};

// The shortest decimal with at most 12 digits after the point, found in
// doubles: the first k for which a whole number near x * 10^k reads back.
std::optional<Decimal> fewFractionDigits(float x) {
  const float magnitude = std::fabs(x);
  const RoundingInterval interval(magnitude);
  double scale = 1.0;
  for (int k = 1; k <= kMostExactFractionDigits; ++k) {
    scale *= 10.0;
    const double scaled = static_cast<double>(magnitude) * scale;
    const double nearest = std::nearbyint(scaled);
    const double other = nearest > scaled ? nearest - 1.0 : nearest + 1.0;
    for (double candidate : {nearest, other}) {
      if (candidate > 0.0 && interval.holds(candidate - scaled, scale)) {
        const auto digits = static_cast<int64_t>(candidate);
        return Decimal{x < 0 ? -digits : digits, -k};
      }
    }
  }
  return std::nullopt;
}

// From the text std::to_chars writes, in scientific form: "d.ddde+XX".
Decimal fromText(float x) {
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text - 1, x, std::chars_format::scientific);
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
