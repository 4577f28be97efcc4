// The blocked residues of a reduction without exchanges against the plain
// elimination modulo the same prime: the same zeros among the tested
// values, at sizes around the panels and on matrices whose reduction meets
// exact zeros.
#include "kernels/modular_lu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "kernels/modular.h"

namespace trelvo::kernels::modular {
namespace {

bool before(const TestedValue& x, const TestedValue& y) {
  return x.steps != y.steps ? x.steps < y.steps : x.k < y.k;
}

// One column step at a time over every column, residues 0 to p - 1.
std::vector<TestedValue> plainZeros(const std::vector<float>& a, int64_t n, const Field& field) {
  std::vector<int64_t> e(a.size());
  for (size_t k = 0; k < a.size(); ++k) e[k] = field.residueOf(a[k]);
  std::vector<TestedValue> zeros;
  for (int64_t j = 0; j < n; ++j) {
    const int64_t pivot = e[j * n + j];
    if (pivot != 0) {
      const int64_t inverse = field.inverse(pivot);
      for (int64_t i = j + 1; i < n; ++i) {
        const int64_t multiple = field.product(e[i * n + j], inverse);
        for (int64_t c = 0; c < n; ++c) {
          e[i * n + c] = field.difference(e[i * n + c], field.product(multiple, e[j * n + c]));
        }
      }
    }
    for (int64_t k = j + 1; k + 1 < n; ++k) {
      if (e[k * n + k] == 0) zeros.push_back({j + 1, k});
    }
  }
  if (n >= 2 && e[n * n - 1] == 0) zeros.push_back({n - 1, n - 1});
  return zeros;
}

// Whole numbers, with some rows sums of others: zeros that are exact.
std::vector<float> matrixWithZeros(int64_t n, int dependentRows, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> entry(-3, 3);
  std::vector<float> a(static_cast<size_t>(n * n));
  for (float& x : a) x = static_cast<float>(entry(random));
  for (int d = 0; d < dependentRows; ++d) {
    const int64_t target = static_cast<int64_t>(random() % static_cast<unsigned>(n));
    const int64_t x = static_cast<int64_t>(random() % static_cast<unsigned>(n));
    const int64_t y = static_cast<int64_t>(random() % static_cast<unsigned>(n));
    if (target == x || target == y) continue;
    for (int64_t c = 0; c < n; ++c) a[target * n + c] = a[x * n + c] - a[y * n + c];
  }
  return a;
}

// Returns how many zeros there were.
size_t expectSameZeros(const std::vector<float>& a, int64_t n, const ModularCode& code,
                       const std::string& what) {
  size_t zeros = 0;
  for (int64_t prime : {kFirstPrime, kSecondPrime}) {
    std::vector<TestedValue> blocked = zerosWithoutExchanges(a.data(), n, prime, code);
    std::vector<TestedValue> plain = plainZeros(a, n, Field(prime));
    std::sort(blocked.begin(), blocked.end(), before);
    zeros += plain.size();
    EXPECT_TRUE(blocked == plain) << what << ", side " << n << ": " << blocked.size() << " zeros, "
                                  << plain.size() << " expected";
  }
  return zeros;
}

TEST(ModularLu, SameZerosAsThePlainEliminationAroundPanels) {
  size_t zeros = 0;
  for (int64_t n : {2, 3, 5, 31, 32, 33, 40, 64, 65, 97}) {
    for (int dependent : {0, 1, 3}) {
      const std::vector<float> a =
          matrixWithZeros(n, dependent, static_cast<unsigned>(n + dependent));
      zeros +=
          expectSameZeros(a, n, kPlainModularCode, "dependent rows " + std::to_string(dependent));
    }
  }
  EXPECT_GT(zeros, 20u);
}

}  // namespace
}  // namespace trelvo::kernels::modular
