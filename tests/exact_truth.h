// Exact arithmetic for the tests: the truth that the reduction's zero test
// is checked against, computed here without the program's residues.
//
// Rationals over 128-bit integers hold every value that the reduction of a
// small matrix of whole numbers, tenths or hundredths computes exactly
// (ratios of its minors), and a plain copy of the reduction carries them
// beside its floats, deciding every zero by them. The exact value of a
// float is the decimal that std::to_chars writes for it, read here from
// its text.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <utility>
#include <vector>

namespace trelvo::testing {

using Int = __int128;

inline Int absolute(Int x) { return x < 0 ? -x : x; }

inline Int greatestDivisor(Int a, Int b) {
  a = absolute(a);
  b = absolute(b);
  while (b != 0) a = std::exchange(b, a % b);
  return a;
}

/// A fraction in lowest terms with a positive denominator.
struct Rational {
  Int num = 0;
  Int den = 1;

  static Rational of(Int n, Int d) {
    if (d < 0) n = -n, d = -d;
    const Int g = greatestDivisor(n, d);
    return g > 1 ? Rational{n / g, d / g} : Rational{n, d};
  }
  bool isZero() const { return num == 0; }
  Rational operator-(const Rational& o) const { return of(num * o.den - o.num * den, den * o.den); }
  Rational operator*(const Rational& o) const {
    const Int g1 = greatestDivisor(num, o.den);
    const Int g2 = greatestDivisor(o.num, den);
    const Int a = g1 > 0 ? num / g1 : num, d2 = g1 > 0 ? o.den / g1 : o.den;
    const Int b = g2 > 0 ? o.num / g2 : o.num, d1 = g2 > 0 ? den / g2 : den;
    return of(a * b, d1 * d2);
  }
  Rational operator/(const Rational& o) const { return *this * of(o.den, o.num); }
  double toDouble() const { return static_cast<double>(num) / static_cast<double>(den); }
  /// The residue num / den modulo p. REQUIRES: den is not a multiple of p.
  int64_t modulo(int64_t p) const;
};

inline int64_t powerModulo(int64_t base, int64_t e, int64_t p) {
  Int result = 1, b = (base % p + p) % p;
  for (; e > 0; e >>= 1) {
    if (e & 1) result = result * b % p;
    b = b * b % p;
  }
  return static_cast<int64_t>(result);
}

inline int64_t Rational::modulo(int64_t p) const {
  const int64_t n = static_cast<int64_t>((num % p + p) % p);
  const int64_t d = static_cast<int64_t>(den % p);
  return static_cast<int64_t>(Int{n} * powerModulo(d, p - 2, p) % p);
}

/// The decimal std::to_chars writes for the finite x, as a fraction.
inline Rational decimalValue(float x) {
  char text[32];
  char* end = std::to_chars(text, text + sizeof text - 1, x, std::chars_format::scientific).ptr;
  *end = '\0';
  Int digits = 0;
  int afterPoint = -1;
  const char* c = text + (text[0] == '-');
  for (; c < end && *c != 'e'; ++c) {
    if (*c == '.') {
      afterPoint = 0;
    } else {
      digits = digits * 10 + (*c - '0');
      afterPoint += afterPoint >= 0;
    }
  }
  const int exponent = std::atoi(c + 1) - std::max(afterPoint, 0);
  Int power = 1;
  for (int k = 0; k < (exponent < 0 ? -exponent : exponent); ++k) power *= 10;
  if (text[0] == '-') digits = -digits;
  return exponent < 0 ? Rational::of(digits, power) : Rational::of(digits * power, 1);
}

/// The determinant of a whole-number n x n matrix (row-major) by
/// fraction-free elimination, every division exact.
inline Int exactDeterminant128(const std::vector<float>& values, int n) {
  std::vector<Int> a(values.begin(), values.end());
  auto at = [&](int r, int c) -> Int& { return a[static_cast<size_t>(r * n + c)]; };
  Int sign = 1, previous = 1;
  for (int k = 0; k + 1 < n; ++k) {
    if (at(k, k) == 0) {
      int p = k + 1;
      while (p < n && at(p, k) == 0) ++p;
      if (p == n) return 0;
      for (int c = 0; c < n; ++c) std::swap(at(k, c), at(p, c));
      sign = -sign;
    }
    for (int i = k + 1; i < n; ++i) {
      for (int j = k + 1; j < n; ++j)
        at(i, j) = (at(i, j) * at(k, k) - at(i, k) * at(k, j)) / previous;
    }
    previous = at(k, k);
  }
  return n == 0 ? 1 : sign * at(n - 1, n - 1);
}

/// The reduction of a matrix of short decimals with every zero decided by
/// exact rationals: an entry counts as zero when its float is zero or its exact
/// value is. Its float steps round every product and sum to float.
struct ExactRuleReduction {
  ExactRuleReduction(const std::vector<float>& values, int side) : n(side), a(values) {
    for (float x : values) exact.push_back(decimalValue(x));
  }

  float& at(int r, int c) { return a[static_cast<size_t>(r * n + c)]; }
  Rational& exactAt(int r, int c) { return exact[static_cast<size_t>(r * n + c)]; }
  bool countsAsZero(int r, int c) { return at(r, c) == 0.0f || exactAt(r, c).isZero(); }

  void exchange(int r, int s) {
    for (int c = 0; c < n; ++c) {
      std::swap(at(r, c), at(s, c));
      std::swap(exactAt(r, c), exactAt(s, c));
    }
    sign = -sign;
  }

  void sweep() {
    for (int k = 0; k + 1 < n; ++k) {
      if (!countsAsZero(k, k)) continue;
      bool exchanged = false;
      for (int p = k + 1; p < n; ++p) {
        if (countsAsZero(p, k)) continue;
        exchange(k, p);
        exchanged = true;
      }
      for (int r = k; r < n && !exchanged; ++r) {
        if (at(r, k) != 0.0f && exactAt(r, k).isZero()) at(r, k) = 0.0f;
      }
    }
  }

  void columnStep(int j) {
    for (int i = j + 1; i < n; ++i) {
      if (at(i, j) == 0.0f) continue;
      const float factor = -at(i, j) / at(j, j);
      for (int c = 0; c < n; ++c) {
        volatile float product = at(j, c) * factor;
        at(i, c) = product + at(i, c);
      }
    }
    if (exactAt(j, j).isZero()) return;
    for (int i = j + 1; i < n; ++i) {
      if (exactAt(i, j).isZero()) continue;
      const Rational multiple = exactAt(i, j) / exactAt(j, j);
      for (int c = 0; c < n; ++c) exactAt(i, c) = exactAt(i, c) - multiple * exactAt(j, c);
    }
  }

  float diagonalProduct() {
    float product = 1.0f;
    for (int d = 0; d < n; ++d) {
      const bool residue = at(d, d) != 0.0f && exactAt(d, d).isZero();
      product *= residue ? 0.0f : at(d, d);
    }
    return product;
  }

  int n;
  std::vector<float> a;
  std::vector<Rational> exact;
  int sign = 1;
};

}  // namespace trelvo::testing
