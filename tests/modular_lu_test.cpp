// The blocked residues of a reduction without exchanges against the plain
// elimination modulo the same prime: the same zeros among the tested
// values, at sizes around the panels and on matrices whose reduction meets
// exact zeros.
#include "kernels/exact/modular_lu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/exact/modular.h"

namespace trelvo::kernels::modular {
namespace {

// Column steps `from` to `to` - 1 on residues 0 to p - 1, one at a time
// over every column; the tested values after them that are zero.
std::vector<TestedValue> plainSteps(std::vector<int64_t>& e, int64_t n, const Field& field,
                                    int64_t from, int64_t to) {
  std::vector<TestedValue> zeros;
  for (int64_t j = from; j < to; ++j) {
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
  if (to == n && n >= 2 && e[n * n - 1] == 0) zeros.push_back({n - 1, n - 1});
  return zeros;
}

std::vector<int64_t> residuesOf(const std::vector<float>& a, const Field& field) {
  std::vector<int64_t> e(a.size());
  for (size_t k = 0; k < a.size(); ++k) e[k] = field.residueOf(a[k]);
  return e;
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

// The blocked steps from `from` on, after the plain ones before it, find
// the zeros of the plain steps; with a step to stop at, those up to it.
// Returns how many zeros there were.
size_t expectSameZeros(const std::vector<float>& a, int64_t n, int64_t from,
                       const ModularCode& code, const std::string& what) {
  size_t zeros = 0;
  for (int64_t prime : {kFirstPrime, kSecondPrime}) {
    const Field field(prime);
    std::vector<int64_t> state = residuesOf(a, field);
    plainSteps(state, n, field, 0, from);
    std::vector<int64_t> rest = state;
    const std::vector<TestedValue> plain = plainSteps(rest, n, field, from, n);
    std::vector<double> residues(state.size());
    for (size_t k = 0; k < state.size(); ++k) {
      residues[k] = static_cast<double>(centred(state[k], prime));
    }
    std::vector<double> again = residues;
    const std::vector<TestedValue> blocked =
        zerosWithoutExchanges(residues.data(), n, from, n, prime, code);
    zeros += plain.size();
    EXPECT_TRUE(blocked == plain) << what << ", side " << n << ", from step " << from << ": "
                                  << blocked.size() << " zeros, " << plain.size() << " expected";
    // Stopped at the first zero's step, or at the first zero: every zero up
    // to it, and no other.
    if (plain.empty()) continue;
    std::vector<double> once = again;
    const std::vector<TestedValue> firstOnly =
        zerosWithoutExchanges(once.data(), n, from, kFirstZero, prime, code);
    EXPECT_TRUE(!firstOnly.empty() && firstOnly.front() == plain.front()) << what;
    const std::vector<TestedValue> early =
        zerosWithoutExchanges(again.data(), n, from, plain.front().steps, prime, code);
    EXPECT_FALSE(early.empty()) << what;
    if (!early.empty()) {
      EXPECT_TRUE(early.front() == plain.front()) << what;
    }
    for (const TestedValue& z : early) {
      EXPECT_NE(std::find(plain.begin(), plain.end(), z), plain.end()) << what;
    }
  }
  return zeros;
}

// The vector code this processor can run, with the plain code.
std::vector<std::pair<std::string, const ModularCode*>> codes() {
  std::vector<std::pair<std::string, const ModularCode*>> all = {{"plain", &kPlainModularCode}};
  for (std::string_view name : kernels::availableVariants()) {
#if defined(__x86_64__)
    if (name == "avx512") all.emplace_back("avx512", &avx512::kModularCode);
    if (name == "avx2") all.emplace_back("avx2", &avx2::kModularCode);
    if (name == "avx2" && kernels::hasFusedMultiplyAdd()) {
      all.emplace_back("avx2 with fused multiply-adds", &avx2fma::kModularCode);
    }
#endif
    if (name == "generic") all.emplace_back("generic", &generic::kModularCode);
  }
  return all;
}

TEST(ModularLu, SameZerosAsThePlainEliminationAroundPanels) {
  for (auto [name, code] : codes()) {
    size_t zeros = 0;
    for (int64_t n : {2, 3, 5, 13, 31, 32, 33, 40, 64, 65, 97, 200}) {
      for (int dependent : {0, 1, 3}) {
        const std::vector<float> a =
            matrixWithZeros(n, dependent, static_cast<unsigned>(n + dependent));
        for (int64_t from : {0, 1, 2, 7, 40}) {
          if (from >= n) continue;
          zeros += expectSameZeros(a, n, from, *code,
                                   name + ", dependent rows " + std::to_string(dependent));
        }
      }
    }
    EXPECT_GT(zeros, 20u) << name;
  }
}

}  // namespace
}  // namespace trelvo::kernels::modular

namespace trelvo::kernels::modular {
namespace {

// Each lane's minor, its zeros found by the plain blocked code.
uint32_t expectedMinorZeros(const std::vector<double>& residues, int64_t n,
                            const std::vector<int32_t>& rows, const std::vector<int32_t>& cols,
                            int64_t prime) {
  const int64_t m = n - 1;
  uint32_t zeros = 0;
  for (size_t t = 0; t < rows.size(); ++t) {
    std::vector<double> minor;
    for (int64_t r = 0; r < n; ++r) {
      for (int64_t c = 0; c < n; ++c) {
        if (r != rows[t] && c != cols[t]) minor.push_back(residues[r * n + c]);
      }
    }
    if (!zerosWithoutExchanges(minor.data(), m, 0, m, prime, kPlainModularCode).empty()) {
      zeros |= uint32_t{1} << t;
    }
  }
  return zeros;
}

TEST(ModularLu, MinorZerosLaneByLane) {
  for (auto [name, code] : codes()) {
    int lanesWithZeros = 0;
    for (int64_t n : {3, 8, 14, 33, 41}) {
      for (int dependent : {0, 1, 2}) {
        const std::vector<float> a = matrixWithZeros(n, dependent, static_cast<unsigned>(7 * n));
        const std::vector<double> residues = centredResidues(a.data(), n, kFirstPrime);
        std::mt19937 random(static_cast<unsigned>(n));
        std::vector<int32_t> rows(static_cast<size_t>(code->lanes));
        std::vector<int32_t> cols(rows.size());
        for (size_t t = 0; t < rows.size(); ++t) {
          rows[t] = static_cast<int32_t>(random() % static_cast<unsigned>(n));
          cols[t] = static_cast<int32_t>(random() % static_cast<unsigned>(n));
        }
        std::vector<double> work(static_cast<size_t>((n - 1) * (n - 1) * code->lanes));
        const uint32_t zeros = code->minorZeros(residues.data(), n, rows.data(), cols.data(),
                                                work.data(), static_cast<double>(kFirstPrime));
        EXPECT_EQ(zeros, expectedMinorZeros(residues, n, rows, cols, kFirstPrime))
            << name << ", side " << n << ", dependent rows " << dependent;
        lanesWithZeros += __builtin_popcount(zeros);
      }
    }
    EXPECT_GT(lanesWithZeros, 0) << name;
  }
}

}  // namespace
}  // namespace trelvo::kernels::modular
