// detTS over a table of small matrices with their exact float results, its
// printed working, and identities of the determinant over many random
// integer matrices, which catch index and sign faults one example misses.
#include "ops/determinant.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/kernels.h"
#include "exact_truth.h"
#include "ops_fixture.h"
#include "random_matrices.h"

namespace trelvo {
namespace {

using namespace testing;  // the in-memory helpers and the exact truth

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Pairs holding `values` in `member`; the other member holds NaN, so a read
// of the wrong member shows in the result.
std::vector<ElementPair> pairsOf(const std::vector<float>& values, int member) {
  std::vector<ElementPair> pairs(values.size());
  for (size_t k = 0; k < values.size(); ++k) {
    pairs[k].member[member] = values[k];
    pairs[k].member[1 - member] = kNaN;
  }
  return pairs;
}

struct Determinant {
  float value;
  std::string printed;
};

Determinant determinantOf(const std::vector<float>& values, int member = 0) {
  TypedDialogue t("");
  std::vector<ElementPair> pairs = pairsOf(values, member);
  float value = detTS(t.console, pairs.data(), static_cast<int32_t>(values.size()), member);
  return {value, t.out.str()};
}

// Equal to the bit, so that -0.0 and +0.0 differ; any NaN equals any NaN.
bool sameFloat(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

struct DetCase {
  const char* name;
  std::vector<float> values;
  float expected;
  bool printsWorking;
};

TEST(DetTS, GivesExactResultsForSmallMatrices) {
  const DetCase cases[] = {
      {"single element", {5}, 5.0f, false},
      {"single negative zero is kept", {-0.0f}, -0.0f, false},
      {"single NaN", {kNaN}, kNaN, false},
      {"empty matrix", {}, 0.0f, false},
      {"zero row", {1, 2, 0, 0}, 0.0f, false},
      {"row of negative zeros gives +0", {-0.0f, -0.0f, 1, 2}, 0.0f, false},
      {"zero column", {0, 1, -0.0f, 2}, 0.0f, false},
      {"zero column of 3", {1, 0, 3, 2, 0, 7, 1, -0.0f, 5}, 0.0f, false},
      {"row of zeros with a NaN is not zero", {0, kNaN, 1, 1}, kNaN, true},
      {"one exchange", {0, 2, 3, 4}, -6.0f, true},
      {"exchange of unit rows", {0, 1, 1, 0}, -1.0f, true},
      {"one elimination", {2, 1, 1, 3}, 5.0f, true},
      {"rounded factor", {3, 1, 1, 1}, 1.99999988079071044921875f, true},
      {"two exchanges in the first sweep", {0, 1, 2, 1, 0, 3, 4, 5, 0}, 22.0f, true},
      {"exchange after a column step", {1, 2, 3, 2, 4, 1, 3, 7, 2}, 5.0f, true},
      {"two exchanges after a column step",
       {1, 1, 1, 1, 1, 1, 2, 3, 2, 3, 1, 1, 3, 4, 2, 5},
       -3.0f,
       true},
      {"zero pivot with nothing below", {1, 2, 3, 2, 4, 7, 1, 2, 5}, 0.0f, true},
      {"count not a square reads n x n", {0, 2, 3, 4, 99}, -6.0f, true},
  };
  for (const DetCase& c : cases) {
    for (int member : {0, 1}) {
      Determinant det = determinantOf(c.values, member);
      EXPECT_TRUE(sameFloat(det.value, c.expected))
          << c.name << ", member " << member << ": " << det.value;
      EXPECT_EQ(!det.printed.empty(), c.printsWorking) << c.name << ", member " << member;
    }
  }
}

TEST(DetTS, PrintsTheSweptMatrixAndATableauPerColumnStep) {
  const std::string rule = "__________________\n";
  const std::string tableau =
      "\n\n" + rule + "   3.00 |   4.00 |\n" + rule + "   0.00 |   2.00 |\n" + rule;
  const std::string expected =
      "\n\n      3.00      4.00\n      0.00      2.00\n" + ("\n" + tableau) + ("\n" + tableau);
  EXPECT_EQ(determinantOf({0, 2, 3, 4}).printed, expected);
}

TEST(DetTS, LeavesThePairsAsTheyWere) {
  const std::vector<float> values = {0, 1, 2, 1, 0, 3, 4, 5, 0};
  std::vector<ElementPair> pairs = pairsOf(values, 1);
  const std::vector<ElementPair> before = pairs;
  TypedDialogue t("");
  detTS(t.console, pairs.data(), 9, 1);
  EXPECT_EQ(std::memcmp(pairs.data(), before.data(), sizeof(ElementPair) * pairs.size()), 0);
}

TEST(MatrixDeterminant, PrintsTheDeterminantLineOrRefusesAndChangesNothing) {
  struct Case {
    int32_t rows, cols;
    std::vector<float> values;
    std::string expected;
  };
  const Case cases[] = {
      {1, 1, {-0.0f}, "\n\nDeterminante=   -0.00\n\n"},
      {2, 2, {0, 0, 1, 2}, "\n\nDeterminante=    0.00\n\n"},
      {2,
       3,
       {1, 2, 3, 4, 5, 6},
       "\n\nLa matrice non e' quadrata. Non e' possibile calcolare il determinante"},
  };
  for (const Case& c : cases) {
    TypedDialogue t("");
    WorkingMatrix m = matrixOf(t.d, c.rows, c.cols, c.values);
    matrixDeterminant(t.d, m);
    EXPECT_EQ(t.out.str(), c.expected);
    EXPECT_EQ(m.selector, 0);
    EXPECT_EQ(currentOf(m), c.values);
    EXPECT_EQ(pendingOf(m), std::vector<float>(c.values.size(), -99.0f));
  }
}

std::vector<float> transposed(const std::vector<float>& a, int n) {
  std::vector<float> t(a.size());
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c)
      t[static_cast<size_t>(c * n + r)] = a[static_cast<size_t>(r * n + c)];
  }
  return t;
}

// Hadamard's bound on |det|: the product of the row lengths. Rounding
// errors of the reduction are small against it.
double hadamardBound(const std::vector<float>& a, int n) {
  double bound = 1.0;
  for (int r = 0; r < n; ++r) {
    double squares = 0.0;
    for (int c = 0; c < n; ++c) squares += std::pow(a[static_cast<size_t>(r * n + c)], 2);
    bound *= std::sqrt(squares);
  }
  return bound;
}

TEST(DetTS, KeepsTheIdentitiesOfTheDeterminantOnRandomMatrices) {
  std::mt19937 random(20240611);
  for (int n = 1; n <= 6; ++n) {
    for (int trial = 0; trial < 300; ++trial) {
      std::vector<float> a = randomShuffledDominant(random, n);
      std::vector<float> b = randomShuffledDominant(random, n);
      std::vector<float> ab(a.size());
      kernels::multiply(a.data(), b.data(), ab.data(), n, n, n);
      const double detA = determinantOf(a).value;
      const double detB = determinantOf(b).value;
      EXPECT_NEAR(detA, static_cast<double>(exactDeterminant128(a, n)), 1e-5 * hadamardBound(a, n))
          << "side " << n;
      const double scale = hadamardBound(a, n) * hadamardBound(b, n);
      EXPECT_NEAR(determinantOf(ab).value, detA * detB, 1e-5 * scale) << "side " << n;
      EXPECT_NEAR(determinantOf(transposed(a, n)).value, detA, 1e-5 * hadamardBound(a, n))
          << "side " << n;
    }
  }
}


// The inverse takes the minors from the kernels' batch instead of detTS when
// detTS would print only "\n\n" and a "\n" per column step: for every
// vector variant, the values (to the bit, NaN signs included), and whether
// that text is printed at all, must be detTS's.
std::vector<float> minorOf(const std::vector<float>& a, int64_t n, int64_t row, int64_t col) {
  std::vector<float> minor;
  for (int64_t p = 0; p < n; ++p) {
    for (int64_t q = 0; q < n; ++q) {
      if (p != row && q != col) minor.push_back(a[p * n + q]);
    }
  }
  return minor;
}

// Whole numbers; 0, 1, 2 and -0.0; or zeros, NaN and infinities.
std::vector<float> drawnMatrix(int kind, int64_t n, std::mt19937& random) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float specials[] = {kInf, -kInf, kNaN, -kNaN, -0.0f, 0.0f, 0.0f};
  std::uniform_int_distribution<int> pick(0, 99);
  std::vector<float> a(n * n);
  for (float& x : a) {
    const int k = pick(random);
    if (kind == 0) x = static_cast<float>(k % 19) - 9.0f;
    if (kind == 1) x = k < 10 ? -0.0f : static_cast<float>(k % 3);
    if (kind == 2) x = k < 25 ? specials[k % 7] : static_cast<float>(k) / 7.0f - 6.0f;
  }
  return a;
}

TEST(DetTS, AgreesWithTheKernelsMinorDeterminantsInEveryVariant) {
  const int64_t n = 14;
  const int64_t m = n - 1;
  for (std::string_view variant : kernels::availableVariants()) {
    ASSERT_TRUE(kernels::selectVariant(variant));
    std::mt19937 random(21);
    for (int kind = 0; kind < 3; ++kind) {
      const std::vector<float> a = drawnMatrix(kind, n, random);
      std::vector<float> det(n * n);
      std::vector<uint8_t> reduced(n * n);
      kernels::minorDeterminants(a.data(), n, det.data(), reduced.data());
      for (int64_t position = 0; position < n * n; ++position) {
        const Determinant expected = determinantOf(minorOf(a, n, position / n, position % n));
        const std::string where = std::string(variant) + ", data kind " + std::to_string(kind) +
                                  ", minor " + std::to_string(position);
        EXPECT_EQ(std::bit_cast<uint32_t>(expected.value), std::bit_cast<uint32_t>(det[position]))
            << where;
        EXPECT_EQ(expected.printed, reduced[position] ? "\n\n" + std::string(m, '\n') : "")
            << where;
      }
    }
  }
  kernels::selectVariant(kernels::chosenVariant());
}

}  // namespace
}  // namespace trelvo
