// The one place that knows how an ordered float operation is done on each
// processor: every product, sum and quotient of the kernels' plain code goes
// through these, so a result is the same bit for bit wherever it is
// computed, NaN signs included.
//
// The NaN results are x86's (SSE): an operation with a NaN operand gives
// the first NaN operand, quieted; an invalid one (0 * inf, inf - inf,
// 0 / 0, inf / inf) gives the default NaN, which is negative. ARM gives a
// positive default NaN and takes a signalling NaN before a quiet one, so on
// other processors than x86 a NaN result is put right after the operation.
#pragma once

#include <cstdint>

namespace trelvo::kernels {

/// The negative quiet NaN that x86 gives for an invalid operation.
inline constexpr uint32_t kX86DefaultNaN = 0xFFC00000u;

/// The result x86 gives for an operation on `a` and `b`, in this order,
/// whose result is NaN.
inline float x86NaNResult(float a, float b) {
  constexpr uint32_t kQuietBit = 0x00400000u;
  if (a != a) return __builtin_bit_cast(float, __builtin_bit_cast(uint32_t, a) | kQuietBit);
  if (b != b) return __builtin_bit_cast(float, __builtin_bit_cast(uint32_t, b) | kQuietBit);
  return __builtin_bit_cast(float, kX86DefaultNaN);
}

/// `result`, of an operation on `a` and `b` in this order, with x86's NaN
/// where it is NaN: one comparison where it is a number.
inline float withX86NaN(float result, float a, float b) {
  return __builtin_expect(result != result, 0) ? x86NaNResult(a, b) : result;
}

/// A product, a sum and a quotient whose operands keep their order: when
/// both are NaN, x86 returns the first one, and a compiler is free to swap
/// the operands of a plain `*` or `+`, which could change the sign of a
/// printed NaN.
#if defined(__x86_64__)
inline float productInOrder(float a, float b) {
  asm("mulss %1, %0" : "+x"(a) : "x"(b));
  return a;
}
inline float sumInOrder(float a, float b) {
  asm("addss %1, %0" : "+x"(a) : "x"(b));
  return a;
}
// A compiler never swaps the operands of a division.
inline float quotientInOrder(float a, float b) { return a / b; }
#else
inline float productInOrder(float a, float b) { return withX86NaN(a * b, a, b); }
inline float sumInOrder(float a, float b) { return withX86NaN(a + b, a, b); }
inline float quotientInOrder(float a, float b) { return withX86NaN(a / b, a, b); }
#endif

/// The zero test of the reduction: +0.0 and -0.0 are zero, NaN is not.
inline bool isZero(float x) { return x == 0.0f; }

}  // namespace trelvo::kernels
