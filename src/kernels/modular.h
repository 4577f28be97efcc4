// Arithmetic modulo a prime, for the exact values of a matrix of floats.
//
// A finite float is m * 2^e with an integer m (|m| < 2^24) and e >= -149,
// so 2^149 times any entry of a matrix is an integer, m * 2^(e + 149).
// Elimination on those integers gives 2^149 times what it gives on the
// floats themselves, ratios and all, so a value is exactly zero when its
// counterpart is. The counterparts are kept as residues modulo a prime p:
// a residue that is not zero proves the exact value non-zero; a zero
// residue is a zero, or, with odds of about 1/p, a multiple of p.
//
// (Scaling by the smallest exponent in the matrix instead of by 2^-149
// changes every residue by one and the same power of two, which is
// invertible modulo p: the zeros are the same.)
#pragma once

#include <bit>
#include <cstdint>

namespace trelvo::kernels::modular {

/// The two primes: the largest below 2^25, so that a residue kept between
/// -p/2 and p/2 squares to below 2^48, and 32 such products still add up
/// exactly in a double; and the next one below it.
inline constexpr int64_t kFirstPrime = 33554393;
inline constexpr int64_t kSecondPrime = 33554383;

/// The largest power of two by which a float's mantissa is scaled: 2^253
/// for the largest exponent.
inline constexpr int kPowers = 254;

/// x - q * p for the q nearest x / p: the residue of x, between -p/2 - 1
/// and p/2 + 1, zero exactly when p divides x. REQUIRES: |x| < 2^53.
inline double reduce(double x, double p, double inverseOfP) {
  constexpr double kRound = 6755399441055744.0;  // 1.5 * 2^52
  const double q = (x * inverseOfP + kRound) - kRound;
  return x - q * p;
}

/// Residues 0 to p - 1 modulo one prime p below 2^25; every product of two
/// fits in 64 bits.
class Field {
 public:
  explicit Field(int64_t prime);

  int64_t prime() const { return p_; }
  /// The residue of 2^149 * x. REQUIRES: x is finite.
  int64_t residueOf(float x) const;
  int64_t product(int64_t a, int64_t b) const { return a * b % p_; }
  int64_t difference(int64_t a, int64_t b) const { return a >= b ? a - b : a - b + p_; }
  /// 1 / a, 1 to p - 1. REQUIRES: a is not a multiple of p.
  int64_t inverse(int64_t a) const;
  /// 2^k mod p. REQUIRES: 0 <= k < kPowers.
  int64_t powerOfTwo(int k) const { return powersOfTwo_[k]; }

  /// The same in doubles, between -p/2 - 1 and p/2 + 1 (see modular_lu.h):
  /// the residue of 2^149 * x, and 1 / x (0 for x = 0).
  double centredResidueOf(float x) const {
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const int exponentField = static_cast<int>(bits >> 23 & 0xff);
    const int64_t fraction = bits & 0x7fffff;
    const int64_t mantissa = exponentField > 0 ? fraction | 0x800000 : fraction;
    const int shift = exponentField > 0 ? exponentField - 1 : 0;
    const double magnitude =
        reduce(static_cast<double>(mantissa) * centredPowers_[shift], p_, inverseOfP_);
    return bits >> 31 ? -magnitude : magnitude;
  }
  double centredInverse(double x) const;

 private:
  int64_t p_;
  double inverseOfP_;
  int64_t powersOfTwo_[kPowers];
  double centredPowers_[kPowers];
};

const Field& firstField();
const Field& secondField();

/// The residue r (0 to p - 1) as the integer of least magnitude, between
/// -p/2 and p/2, as the vector code keeps it.
inline int64_t centred(int64_t r, int64_t p) { return r > p / 2 ? r - p : r; }

}  // namespace trelvo::kernels::modular
