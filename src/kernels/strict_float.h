// The one place that knows how an ordered float operation is done on each
// processor: every product and sum of the kernels' plain code goes through
// these, so a result is the same bit for bit wherever it is computed.
#pragma once

namespace trelvo::kernels {

/// A product and a sum whose operands keep their order: when both are NaN,
/// x86 returns the first one, and a compiler is free to swap the operands
/// of a plain `*` or `+`, which could change the sign of a printed NaN.
#if defined(__x86_64__)
inline float productInOrder(float a, float b) {
  asm("mulss %1, %0" : "+x"(a) : "x"(b));
  return a;
}
inline float sumInOrder(float a, float b) {
  asm("addss %1, %0" : "+x"(a) : "x"(b));
  return a;
}
#else
#error "productInOrder and sumInOrder know no instructions for this processor yet"
#endif

/// The zero test of the reduction: +0.0 and -0.0 are zero, NaN is not.
inline bool isZero(float x) { return x == 0.0f; }

}  // namespace trelvo::kernels
