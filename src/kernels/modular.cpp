#include "kernels/modular.h"

#include <bit>
#include <cassert>
#include <utility>

#include "kernels/modular_lu.h"

namespace trelvo::kernels::modular {

Field::Field(int64_t prime) : p_(prime), inverseOfP_(1.0 / static_cast<double>(prime)) {
  int64_t power = 1;
  for (int k = 0; k < kPowers; ++k) {
    powersOfTwo_[k] = power;
    centredPowers_[k] = static_cast<double>(centred(power, p_));
    power = power * 2 % p_;
  }
}

double Field::centredInverse(double x) const {
  if (x == 0.0) return 0.0;
  const int64_t residue = (static_cast<int64_t>(x) % p_ + p_) % p_;
  return static_cast<double>(centred(inverse(residue), p_));
}

int64_t Field::residueOf(float x) const {
  const uint32_t bits = std::bit_cast<uint32_t>(x);
  const int exponentField = static_cast<int>(bits >> 23 & 0xff);
  assert(exponentField < 0xff);
  const int64_t fraction = bits & 0x7fffff;
  // Normal: (2^23 + fraction) * 2^(field - 150); subnormal: fraction * 2^-149.
  const int64_t mantissa = exponentField > 0 ? fraction | 0x800000 : fraction;
  const int shift = exponentField > 0 ? exponentField - 1 : 0;
  const int64_t magnitude = product(mantissa % p_, powerOfTwo(shift));
  return bits >> 31 && magnitude != 0 ? p_ - magnitude : magnitude;
}

// By Euclid's algorithm, in 32 bits: the residues are below 2^25, and its
// divisions are several times fewer than Fermat's products.
int64_t Field::inverse(int64_t a) const {
  assert(a % p_ != 0);
  int32_t r = static_cast<int32_t>(p_);
  int32_t next = static_cast<int32_t>((a % p_ + p_) % p_);
  // Multiples of a congruent to r and to next: t * a = r (mod p).
  int32_t t = 0;
  int32_t tNext = 1;
  while (next != 0) {
    const int32_t q = r / next;
    r = std::exchange(next, r - q * next);
    t = std::exchange(tNext, t - q * tNext);
  }
  return t < 0 ? t + p_ : t;
}

const Field& firstField() {
  static const Field field(kFirstPrime);
  return field;
}

const Field& secondField() {
  static const Field field(kSecondPrime);
  return field;
}

}  // namespace trelvo::kernels::modular
