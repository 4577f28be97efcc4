#include "kernels/exact/modular.h"

#include <cassert>
#include <cmath>
#include <utility>

#include "kernels/exact/modular_lu.h"

namespace trelvo::kernels::modular {

Field::Field(int64_t prime) : p_(prime), inverseOfP_(1.0 / static_cast<double>(prime)) {
  const int64_t tenth = inverse(10);
  int64_t up = 1;
  int64_t down = 1;
  for (int k = 0; k - kLowestPowerOfTen < kPowersOfTen; ++k) {
    centredPowersOfTen_[k - kLowestPowerOfTen] = static_cast<double>(centred(up, p_));
    centredPowersOfTen_[-k - kLowestPowerOfTen] = static_cast<double>(centred(down, p_));
    up = up * 10 % p_;
    down = down * tenth % p_;
  }
}

double Field::centredInverse(double x) const {
  if (x == 0.0) return 0.0;
  const int64_t residue = (static_cast<int64_t>(x) % p_ + p_) % p_;
  return static_cast<double>(centred(inverse(residue), p_));
}

int64_t Field::residueOf(float x) const {
  assert(std::isfinite(x));
  const auto centredResidue = static_cast<int64_t>(centredResidueOf(x));
  return (centredResidue % p_ + p_) % p_;
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
