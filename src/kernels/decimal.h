// The value a float stands for: the shortest decimal that reads back as it,
// what std::to_chars writes for it. 0.1f stands for 1/10 and 2.5f for 5/2,
// not for their binary values, so numbers typed with a few digits count
// exactly as typed.
#pragma once

#include <cstdint>

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

}  // namespace trelvo::kernels
