// Arithmetic modulo a prime, for the exact values of a matrix of floats.
//
// The exact value of a finite float is its shortest decimal (decimal.h),
// digits * 10^e with |digits| < 10^9 and e between -54 and 38: a rational
// whose denominator is a power of ten, invertible modulo any prime above
// 5. Elimination on those values is kept as residues modulo a prime p: a
// residue that is not zero proves the exact value non-zero; a zero residue
// is a zero, or, with odds of about 1/p, a multiple of p.
#pragma once

#include <cstdint>

#include "kernels/exact/decimal.h"

namespace trelvo::kernels::modular {

/// The two primes: the largest below 2^25, so that a residue kept between
/// -p/2 and p/2 squares to below 2^48, and 32 such products still add up
/// exactly in a double; and the next one below it.
inline constexpr int64_t kFirstPrime = 33554393;
inline constexpr int64_t kSecondPrime = 33554383;

/// The powers of ten that shortest decimals take: 10^-64 to 10^64.
inline constexpr int kLowestPowerOfTen = -64;
inline constexpr int kPowersOfTen = 129;

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
  /// The residue of x's exact value, its shortest decimal.
  /// REQUIRES: x is finite.
  int64_t residueOf(float x) const;
  int64_t product(int64_t a, int64_t b) const { return a * b % p_; }
  int64_t difference(int64_t a, int64_t b) const { return a >= b ? a - b : a - b + p_; }
  /// 1 / a, 1 to p - 1. REQUIRES: a is not a multiple of p.
  int64_t inverse(int64_t a) const;

  /// The same in doubles, between -p/2 - 1 and p/2 + 1 (see modular_lu.h):
  /// the residue of x's exact value, and 1 / x (0 for x = 0).
  double centredResidueOf(float x) const {
    if (isSmallWhole(x)) return reduce(static_cast<double>(x), p_, inverseOfP_);
    if (const std::optional<double> hundredths = hundredthsOf(x)) {
      const double digits = reduce(*hundredths, p_, inverseOfP_);
      return reduce(digits * centredPowersOfTen_[-2 - kLowestPowerOfTen], p_, inverseOfP_);
    }
    return centredResidueOf(shortestDecimal(x));
  }
  double centredResidueOf(Decimal d) const {
    const double digits = reduce(static_cast<double>(d.digits), p_, inverseOfP_);
    return reduce(digits * centredPowersOfTen_[d.exponent - kLowestPowerOfTen], p_, inverseOfP_);
  }
  double centredInverse(double x) const;
  /// x reduced, as above. REQUIRES: |x| < 2^53.
  double centredReduced(double x) const { return reduce(x, static_cast<double>(p_), inverseOfP_); }
  /// What one column step leaves of `entry`, whose row holds `inColumn` in
  /// the pivot's column and whose column holds `inRow` in the pivot's row:
  /// entry - inColumn / pivot * inRow (entry itself when the pivot is zero).
  double centredAfterStep(double entry, double inColumn, double inRow, double pivot) const {
    const double multiple = centredReduced(inColumn * centredInverse(pivot));
    return centredReduced(entry - centredReduced(multiple * inRow));
  }

 private:
  int64_t p_;
  double inverseOfP_;
  double centredPowersOfTen_[kPowersOfTen];
};

const Field& firstField();
const Field& secondField();

/// The residue r (0 to p - 1) as the integer of least magnitude, between
/// -p/2 and p/2, as the vector code keeps it.
inline int64_t centred(int64_t r, int64_t p) { return r > p / 2 ? r - p : r; }

}  // namespace trelvo::kernels::modular
