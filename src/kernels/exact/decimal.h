// The value a float stands for: the shortest decimal that reads back as it,
// what std::to_chars writes for it. 0.1f stands for 1/10 and 2.5f for 5/2,
// not for their binary values, so numbers typed with a few digits count
// exactly as typed.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>

namespace trelvo::kernels {

/// The value digits * 10^exponent: at most nine significant digits (a
/// whole number keeps its trailing zeros in `digits`).
struct Decimal {
  int64_t digits;
  int exponent;
};

/// The shortest decimal of x: of two as short, the nearer to x.
/// REQUIRES: x is finite.
Decimal shortestDecimal(float x);

/// Whole numbers of up to 24 bits, every random fill among them, are their
/// own shortest decimal.
inline bool isSmallWhole(float x) {
  return x <= 16777216.0f && x >= -16777216.0f && static_cast<float>(static_cast<int32_t>(x)) == x;
}

/// When the shortest decimal of x has at most two decimals (and |x| < 2^17,
/// where floats lie closer than 1/100): x times 100, a whole number in a
/// double. Nothing otherwise, or when it cannot tell at once (a decimal
/// exactly half-way between x and its neighbour). Inline: most numbers
/// typed are such, and the residues of a large matrix take each of them.
inline std::optional<double> hundredthsOf(float x) {
  const uint32_t bits = std::bit_cast<uint32_t>(x) & 0x7fffffffu;
  if (bits >= 0x48000000u) return std::nullopt;  // 2^17 and beyond, or not finite
  const auto exponentField = static_cast<int>(bits >> 23);
  // Half the spacing of the floats above x, times 100: 2^(e - 151) * 100,
  // from its bits; below a power of two the spacing is half as large.
  const auto power = static_cast<uint64_t>((exponentField > 0 ? exponentField : 1) - 151 + 1023);
  const double halfAbove = std::bit_cast<double>(power << 52) * 100.0;
  const bool powerOfTwo = (bits & 0x7fffff) == 0 && exponentField > 1;
  const double scaled = static_cast<double>(std::bit_cast<float>(bits)) * 100.0;
  constexpr double kRound = 6755399441055744.0;  // 1.5 * 2^52: rounds to whole
  const double nearest = (scaled + kRound) - kRound;
  const double distance = nearest - scaled;
  const double limit = distance < 0 && powerOfTwo ? halfAbove / 2 : halfAbove;
  if (nearest == 0.0 || !(distance < limit && -distance < limit)) return std::nullopt;
  return static_cast<int32_t>(std::bit_cast<uint32_t>(x)) < 0 ? -nearest : nearest;
}

}  // namespace trelvo::kernels
