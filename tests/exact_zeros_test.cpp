// The reduction's zero test on exact values, against exact rationals: the
// residues of single floats, the residues of a whole reduction, every zero
// decision of the reduction on many whole-number matrices, and detTS on
// the matrices where a rounding residue used to be taken for a pivot.
#include "kernels/exact/exact_zeros.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dialogue/number_input.h"
#include "exact_truth.h"
#include "kernels/exact/modular.h"
#include "kernels/kernels.h"
#include "kernels/reference.h"
#include "ops/determinant.h"
#include "ops_fixture.h"

namespace trelvo {
namespace {

using namespace testing;  // the exact truth and the in-memory helpers
namespace modular = kernels::modular;

bool sameBits(float x, float y) { return std::bit_cast<uint32_t>(x) == std::bit_cast<uint32_t>(y); }

// The residue modulo p of the decimal that std::to_chars writes for x.
int64_t residueOfShortestDecimal(float x, int64_t p) {
  char text[32];
  char* end = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific).ptr;
  const std::string written(text, end);
  const size_t e = written.find('e');
  std::string digits = written.substr(0, e);
  const size_t point = digits.find('.');
  int exponent = std::stoi(written.substr(e + 1));
  if (point != std::string::npos) {
    exponent -= static_cast<int>(digits.size() - point - 1);
    digits.erase(point, 1);
  }
  const int64_t m = std::stoll(digits) % p;
  const int64_t power = exponent >= 0 ? powerModulo(10, exponent, p)
                                      : powerModulo(powerModulo(10, -exponent, p), p - 2, p);
  return static_cast<int64_t>((Int{m} * power % p + p) % p);
}

// A float counts as the decimal it is written as: 0.1f as 1/10, 2^30 as
// 1073741800, the smallest float as 10^-45.
TEST(Modular, ResiduesOfFloatsAreThoseOfTheirShortestDecimals) {
  const float values[] = {1.0f,    -1.0f,   0.5f,     -3.0f,         0.1f,  1e-45f,
                          -1e-40f, FLT_MAX, -FLT_MIN, 33554393.0f,   1e30f, 123456.789f,
                          0.3f,    -2.5f,   0.07f,    1073741824.0f, 7e-5f, 16777217.0f};
  for (const modular::Field* field : {&modular::firstField(), &modular::secondField()}) {
    const int64_t p = field->prime();
    for (float x : values) EXPECT_EQ(field->residueOf(x), residueOfShortestDecimal(x, p)) << x;
    EXPECT_EQ(field->residueOf(0.0f), 0);
    EXPECT_EQ(field->residueOf(-0.0f), 0);
    EXPECT_EQ(field->product(field->residueOf(0.1f), 10), 1) << "0.1f stands for 1/10";
    EXPECT_EQ(field->product(field->residueOf(0.3f), 10), 3) << "0.3f stands for 3/10";
    EXPECT_EQ(field->residueOf(1073741824.0f), 1073741800 % p) << "2^30 reads 1.0737418e9";
    for (int64_t a : {int64_t{1}, int64_t{2}, int64_t{12345}, p - 1}) {
      EXPECT_EQ(field->product(a, field->inverse(a)), 1) << a;
    }
  }
}

// The program's reduction with the exact zero test, its working copy kept
// after the opening sweep and after every column step.
struct ProgramReduction {
  ProgramReduction(const std::vector<float>& values, int side)
      : n(side), a(values), exact(a.data(), side) {}

  void sweep() { kernels::exact::pivotSweep(a.data(), n, sign, exact); }
  void columnStep(int j) { kernels::exact::eliminateColumn(a.data(), n, j, exact); }
  float determinant() const {
    return kernels::productInOrder(static_cast<float>(sign),
                                   kernels::exact::diagonalProduct(a.data(), n, exact));
  }

  int n;
  std::vector<float> a;
  kernels::ExactResidues exact;
  int sign = 1;
};

// Both reductions side by side, stage by stage: the same floats to the bit,
// the same sign, and the residues of every entry those of its exact value
// (checked while no denominator is a multiple of a prime).
void expectSameReductions(const std::vector<float>& values, int n, const std::string& what) {
  ExactRuleReduction truth(values, n);
  ProgramReduction program(values, n);
  auto compare = [&](const std::string& stage) {
    for (int k = 0; k < n * n; ++k) {
      ASSERT_TRUE(sameBits(truth.a[k], program.a[k])) << what << ", " << stage << ", entry " << k;
      const Rational& e = truth.exact[k];
      for (int prime : {0, 1}) {
        const int64_t p = prime == 0 ? modular::kFirstPrime : modular::kSecondPrime;
        if (e.den % p == 0) continue;
        ASSERT_EQ(program.exact.residue(prime, k / n, k % n), e.modulo(p))
            << what << ", " << stage << ", entry " << k;
      }
      ASSERT_EQ(program.exact.isExactZero(k / n, k % n), e.isZero()) << what << ", " << stage;
    }
    ASSERT_EQ(truth.sign, program.sign) << what << ", " << stage;
  };
  truth.sweep();
  program.sweep();
  compare("opening sweep");
  for (int j = 0; j < n; ++j) {
    truth.columnStep(j);
    truth.sweep();
    program.columnStep(j);
    program.sweep();
    compare("column step " + std::to_string(j));
  }
  const float expected = static_cast<float>(truth.sign) * truth.diagonalProduct();
  EXPECT_TRUE(sameBits(program.determinant(), expected)) << what;
}

// Whole-number matrices as users make them, and singular ones.
enum class Fill { kOneToFive, kOneToTen, kTypedSmall, kRowSum, kRankTwo };

std::vector<float> wholeMatrix(Fill fill, int n, std::mt19937& random) {
  std::uniform_int_distribution<int> oneToFive(1, 5), oneToTen(1, 10), small(-5, 5);
  std::vector<float> a(static_cast<size_t>(n * n));
  auto at = [&](int r, int c) -> float& { return a[static_cast<size_t>(r * n + c)]; };
  for (float& x : a) {
    x = static_cast<float>(fill == Fill::kOneToTen     ? oneToTen(random)
                           : fill == Fill::kTypedSmall ? small(random)
                                                       : oneToFive(random));
  }
  if (fill == Fill::kRowSum) {
    // One row the sum of two others, or their difference.
    const int r = n - 1 - static_cast<int>(random() % 2);
    for (int c = 0; c < n; ++c) at(r, c) = at(0, c) + (r % 2 ? -1.0f : 1.0f) * at(1, c);
  } else if (fill == Fill::kRankTwo) {
    // The sum of two products of a column by a row, all of small numbers.
    std::vector<float> u(static_cast<size_t>(4 * n));
    for (float& x : u) x = static_cast<float>(oneToFive(random));
    for (int r = 0; r < n; ++r) {
      for (int c = 0; c < n; ++c) at(r, c) = u[r] * u[n + c] - u[2 * n + r] * u[3 * n + c];
    }
  }
  return a;
}

float determinantOf(const std::vector<float>& values) {
  TypedDialogue t("");
  std::vector<ElementPair> pairs(values.size());
  for (size_t k = 0; k < values.size(); ++k) pairs[k].member[0] = values[k];
  return detTS(t.console, pairs.data(), static_cast<int32_t>(values.size()), 0);
}

// A matrix typed in tenths or hundredths, as whole numbers scaled by
// 10^(places + 1), some rows exact combinations of two others with
// coefficients in tenths: singular as typed, though not in the binary
// values of its floats.
std::vector<Int> scaledDecimalMatrix(int places, int n, int dependentRows, std::mt19937& random) {
  int scale = 1;
  for (int k = 0; k < places; ++k) scale *= 10;
  std::uniform_int_distribution<int> entry(-2 * scale, 2 * scale), coefficient(-15, 15);
  std::vector<Int> a(static_cast<size_t>(n * n));
  for (Int& x : a) x = entry(random) * 10;
  for (int d = 0; d < dependentRows; ++d) {
    const int r = n - 1 - d, i = static_cast<int>(random() % 2), j = 2 + d % (n - 2);
    const int ci = coefficient(random), cj = coefficient(random);
    for (int c = 0; c < n; ++c) a[r * n + c] = (ci * a[i * n + c] + cj * a[j * n + c]) / 10;
  }
  return a;
}

// What a user typing num / 10^places gets.
float typed(Int num, int places) {
  return *parseDecimal(std::to_string(static_cast<long long>(num)) + "e-" + std::to_string(places));
}

TEST(ExactZeroRule, DecimalsCountAsTyped) {
  std::mt19937 random(22);
  int singular = 0;
  for (int places : {1, 2}) {
    for (int n = 3; n <= (places == 1 ? 8 : 6); ++n) {
      for (int trial = 0; trial < 90; ++trial) {
        const int dependentRows = trial % 3;
        const std::vector<Int> scaled = scaledDecimalMatrix(places, n, dependentRows, random);
        std::vector<float> a, whole;
        for (Int x : scaled) {
          a.push_back(typed(x, places + 1));
          whole.push_back(static_cast<float>(static_cast<long long>(x)));
        }
        const std::string what = std::to_string(places) + " places, side " + std::to_string(n) +
                                 ", trial " + std::to_string(trial);
        expectSameReductions(a, n, what);
        if (HasFatalFailure()) return;
        const bool exactlySingular = exactDeterminant128(whole, n) == 0;
        singular += exactlySingular;
        EXPECT_EQ(determinantOf(a) == 0.0f, exactlySingular) << what;
      }
    }
  }
  EXPECT_GT(singular, 300);
}

TEST(ExactZeroRule, EveryZeroDecisionIsThatOfExactArithmetic) {
  std::mt19937 random(11);
  for (Fill fill :
       {Fill::kOneToFive, Fill::kOneToTen, Fill::kTypedSmall, Fill::kRowSum, Fill::kRankTwo}) {
    for (int n = 3; n <= 8; ++n) {
      for (int trial = 0; trial < 150; ++trial) {
        const std::vector<float> a = wholeMatrix(fill, n, random);
        const std::string what = "fill " + std::to_string(static_cast<int>(fill)) + ", side " +
                                 std::to_string(n) + ", trial " + std::to_string(trial);
        expectSameReductions(a, n, what);
        if (HasFatalFailure()) return;
      }
    }
  }
}

// A singular matrix gives a zero determinant and an invertible one does
// not, over whole-number matrices where residues used to mislead.
TEST(ExactZeroRule, ZeroDeterminantExactlyForSingularMatrices) {
  std::mt19937 random(1111);
  int singular = 0;
  for (Fill fill : {Fill::kOneToFive, Fill::kTypedSmall, Fill::kRowSum, Fill::kRankTwo}) {
    for (int n = 5; n <= 8; ++n) {
      for (int trial = 0; trial < 200; ++trial) {
        const std::vector<float> a = wholeMatrix(fill, n, random);
        const Int exact = exactDeterminant128(a, n);
        singular += exact == 0;
        EXPECT_EQ(determinantOf(a) == 0.0f, exact == 0)
            << "side " << n << ", exact " << static_cast<double>(exact);
      }
    }
  }
  EXPECT_GT(singular, 1000);
}

std::string printedCell(float x) {
  char text[64];
  std::snprintf(text, sizeof text, "%7.2f", static_cast<double>(x));
  return text;
}

// Whole-number matrices where a residue used to be taken for a pivot: the
// exact determinant, and a working without the huge cells that dividing by
// a residue made.
TEST(ExactZeroRule, ResiduesNoLongerSpoilTheDeterminant) {
  struct Case {
    const char* name;
    int n;
    std::vector<float> values;
    const char* expected;
    double largestCell;  // of the working, when no residue is divided by
  };
  const Case cases[] = {
      {"shown 0.00 for 9",
       5,
       {3, -2, 1, 1, -2, -2, 1, 0, 0, -1, -1, 1, -1, 2, -2, 1, 2, -3, 1, 1, 0, 0, 1, 0, -2},
       "   9.00",
       20.0},
      {"shown -3134463.50",
       4,
       {57, 57, 97, 26, 58, 58, 45, 25, 97, 65, 67, 48, 97, 72, 20, 76},
       "-3004912.00",
       1e4},
      {"-0.00 used as a pivot",
       6,
       {1, 4, 3, 2, 4, 4, 3, 5, 4, 3, 3, 4, 5, 4, 5, 3, 1, 1,
        5, 2, 5, 2, 4, 2, 1, 3, 2, 3, 5, 2, 4, 1, 4, 2, 4, 3},
       " 168.00",
       1e3},
  };
  for (const Case& c : cases) {
    TypedDialogue t("");
    std::vector<ElementPair> pairs(c.values.size());
    for (size_t k = 0; k < c.values.size(); ++k) pairs[k].member[0] = c.values[k];
    const float det = detTS(t.console, pairs.data(), c.n * c.n, 0);
    EXPECT_EQ(printedCell(det), c.expected) << c.name;
    std::string working = t.out.str();
    std::replace(working.begin(), working.end(), '|', ' ');
    std::istringstream cells(working);
    for (std::string cell; cells >> cell;) {
      if (cell.front() == '_') continue;
      EXPECT_LE(std::abs(std::stod(cell)), c.largestCell) << c.name;
    }
    expectSameReductions(c.values, c.n, c.name);
  }
}

// A column times a row has rank one: every pivot after the first is a
// residue of the first step, and the determinant is exactly zero.
TEST(ExactZeroRule, RankOneProductHasAZeroDeterminant) {
  std::mt19937 random(100);
  std::uniform_int_distribution<int> entry(1, 100);
  for (int trial = 0; trial < 5; ++trial) {
    std::vector<float> column(100), row(100), product(100 * 100);
    for (float& x : column) x = static_cast<float>(entry(random));
    for (float& x : row) x = static_cast<float>(entry(random));
    kernels::multiply(column.data(), row.data(), product.data(), 100, 1, 100);
    EXPECT_EQ(determinantOf(product), 0.0f) << "trial " << trial;
  }
}

// 33554392 - 1 * (-1) is the first prime itself: zero modulo it, not
// modulo the second, so not exactly zero, whenever the second prime's
// residues take their steps and exchanges.
TEST(ExactZeroRule, AMultipleOfTheFirstPrimeAloneIsNotZero) {
  ASSERT_EQ(33554392 + 1, modular::kFirstPrime);
  const std::vector<float> a = {5, 7, 2, 1, -1, 0, 1, 33554392, 4};
  for (bool readBetween : {false, true}) {
    kernels::ExactResidues exact(a.data(), 3);
    exact.exchangeRows(0, 1);
    if (readBetween) {
      EXPECT_FALSE(exact.isExactZero(0, 0));
    }
    exact.eliminateColumn(0);
    exact.exchangeRows(1, 2);
    EXPECT_EQ(exact.residue(0, 1, 1), 0) << readBetween;
    EXPECT_NE(exact.residue(1, 1, 1), 0) << readBetween;
    EXPECT_FALSE(exact.isExactZero(1, 1)) << readBetween;
    EXPECT_TRUE(exact.isExactZero(2, 0)) << "taken away by the step, " << readBetween;
  }
}

// With an infinity or a NaN in the matrix the float test alone decides.
TEST(ExactZeroRule, IsOffForMatricesThatAreNotFinite) {
  const float inf = INFINITY;
  const std::vector<float> a = {3, 1, 1, 1, 1, 1, 1, 1, inf};
  kernels::ExactResidues exact(a.data(), 3);
  EXPECT_FALSE(exact.on());
  std::vector<float> ruled = a, plain = a;
  int ruledSign = 1, plainSign = 1;
  kernels::exact::pivotSweep(ruled.data(), 3, ruledSign, exact);
  kernels::exact::reduceColumns(ruled.data(), 3, ruledSign, exact);
  kernels::reference::pivotSweep(plain.data(), 3, plainSign);
  kernels::reference::reduceColumns(plain.data(), 3, plainSign);
  for (int k = 0; k < 9; ++k) EXPECT_TRUE(sameBits(ruled[k], plain[k]) || std::isnan(ruled[k]));
  EXPECT_EQ(ruledSign, plainSign);
}

}  // namespace
}  // namespace trelvo
