// The determinant's reduction for the diagonal alone, with the exact zero
// test, against the plain steps one by one: the same diagonal to the bit,
// the same sign and the same determinant, on large matrices whose exact
// zeros come early, late, by the dozen or by chance of a float zero.
#include "kernels/reduction/exact_reduction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/exact/exact_zeros.h"
#include "kernels/kernels.h"
#include "kernels/parallel.h"
#include "kernels/reference.h"

namespace trelvo::kernels {
namespace {

using Matrix = std::vector<float>;

bool sameBits(float x, float y) { return std::bit_cast<uint32_t>(x) == std::bit_cast<uint32_t>(y); }

struct Result {
  Matrix diagonal;
  int sign;
  float determinant;
};

Matrix diagonalOf(const Matrix& a, int64_t n) {
  Matrix d;
  for (int64_t k = 0; k < n; ++k) d.push_back(a[k * n + k]);
  return d;
}

// The plain steps, each with its sweep, after the opening sweep.
Result plainReduction(Matrix a, int64_t n) {
  int sign = 1;
  ExactResidues exact;  // each entry is its own exact value until the first step
  exact::pivotSweep(a.data(), n, sign, exact);
  exact = ExactResidues(a.data(), n);
  exact::reduceColumns(a.data(), n, sign, exact);
  return {diagonalOf(a, n), sign,
          productInOrder(static_cast<float>(sign), exact::diagonalProduct(a.data(), n, exact))};
}

Result diagonalReduction(const Matrix& values, int64_t n, const FloatSteps& steps) {
  Matrix a = values;
  Reduction r(a.data(), n);
  r.sweep();
  Matrix swept = a;
  r.stepsForDiagonal([&] { a = swept; }, steps);
  return {diagonalOf(a, n), r.sign(), r.determinant()};
}

Result oneByOneReduction(const Matrix& values, int64_t n) {
  Matrix a = values;
  Reduction r(a.data(), n);
  r.sweep();
  r.stepsOneByOne();
  return {diagonalOf(a, n), r.sign(), r.determinant()};
}

void expectSameResult(const Matrix& a, int64_t n, const Result& actual, const std::string& what) {
  const Result expected = plainReduction(a, n);
  ASSERT_EQ(expected.sign, actual.sign) << what;
  for (int64_t k = 0; k < n; ++k) {
    ASSERT_TRUE(sameBits(expected.diagonal[k], actual.diagonal[k])) << what << ", diagonal " << k;
  }
  EXPECT_TRUE(sameBits(expected.determinant, actual.determinant)) << what;
}

// Whole-number matrices that meet exact zeros in different places.
enum class Kind {
  kRandomFill,
  kSmallRange,
  kRankDeficient,
  kZerosSprinkled,
  kLateDependence,
  kFloatZeroOnly,
  kProportionalColumns,
  kFirstColumnZero,
  kLaterFloatZero,
  kHugeAndTiny,
  kFloatZeroColumn,
  kOnesAndTwos,
  kAllOnes,
  kColumnTimesRow,
  kRepeatedColumnLate,
  kZeroPivotThenOverflow
};

std::string kindName(Kind kind) {
  switch (kind) {
    case Kind::kRandomFill:
      return "random fill 1..100";
    case Kind::kSmallRange:
      return "random fill 1..3";
    case Kind::kRankDeficient:
      return "rank n - 3";
    case Kind::kZerosSprinkled:
      return "zeros sprinkled";
    case Kind::kLateDependence:
      return "last row a sum of two";
    case Kind::kFloatZeroOnly:
      return "a float zero where the exact value is not";
    case Kind::kProportionalColumns:
      return "column 1 three times column 0";
    case Kind::kFirstColumnZero:
      return "column 0 all zero";
    case Kind::kLaterFloatZero:
      return "a float zero where the exact value is not, mid-way";
    case Kind::kHugeAndTiny:
      return "entries from 1e-30 to 1e30, column 0 all zero";
    case Kind::kFloatZeroColumn:
      return "column 1 zero in floats after the first step, not exactly; huge and tiny entries";
    case Kind::kOnesAndTwos:
      return "random fill 1..2";
    case Kind::kAllOnes:
      return "all ones";
    case Kind::kColumnTimesRow:
      return "a column of 1..100 times a row of 1..100 (rank one)";
    case Kind::kRepeatedColumnLate:
      return "random fill 1..2, the second last column a copy of the third last";
    case Kind::kZeroPivotThenOverflow:
      return "a zero pivot over floats zero but not exactly, then overflowing factors";
  }
  return "";
}

// Step h leaves 0.33333334 - (1 / 3) * 1 on the diagonal: zero in floats,
// not exactly. Rows h and h + 1, zero left of column h, are left alone by
// the steps before it.
void placeFloatOnlyZero(Matrix& a, int64_t n, int64_t h) {
  for (int64_t r : {h, h + 1}) std::fill_n(a.begin() + r * n, h, 0.0f);
  a[h * n + h] = 3.0f;
  a[h * n + h + 1] = 1.0f;
  a[(h + 1) * n + h] = 1.0f;
  a[(h + 1) * n + h + 1] = 1.0f / 3.0f;
}

// Every entry times 2^-100 to 2^99: factors overflow, entries become
// infinite or NaN.
void scaleByPowersOfTwo(Matrix& a, std::mt19937& random) {
  for (float& x : a) x = std::ldexp(x, static_cast<int>(random() % 200) - 100);
}

Matrix wholeMatrix(Kind kind, int64_t n, unsigned seed) {
  std::mt19937 random(seed);
  const int top = kind == Kind::kSmallRange                                         ? 3
                  : kind == Kind::kOnesAndTwos || kind == Kind::kRepeatedColumnLate ? 2
                  : kind == Kind::kAllOnes                                          ? 1
                                                                                    : 100;
  std::uniform_int_distribution<int> fill(1, top);
  std::uniform_int_distribution<int> small(-2, 2);
  Matrix a(static_cast<size_t>(n * n));
  for (float& x : a) x = static_cast<float>(fill(random));
  auto at = [&](int64_t r, int64_t c) -> float& { return a[static_cast<size_t>(r * n + c)]; };
  if (kind == Kind::kRankDeficient) {
    for (int64_t r = n - 3; r < n; ++r) {
      const int64_t x = random() % (n - 3), y = random() % (n - 3);
      for (int64_t c = 0; c < n; ++c) at(r, c) = at(x, c) - at(y, c);
    }
  } else if (kind == Kind::kZerosSprinkled) {
    for (float& x : a) x = random() % 5 == 0 ? 0.0f : static_cast<float>(small(random));
  } else if (kind == Kind::kLateDependence) {
    for (int64_t c = 0; c < n; ++c) at(n - 1, c) = at(n - 2, c) + at(n - 3, c);
  } else if (kind == Kind::kFloatZeroOnly) {
    placeFloatOnlyZero(a, n, 0);
  } else if (kind == Kind::kProportionalColumns) {
    // After the first step column 1 is exactly zero from the diagonal down,
    // its floats mostly rounding residues: the sweep sets them to zero.
    for (int64_t r = 0; r < n; ++r) at(r, 1) = 3.0f * at(r, 0);
  } else if (kind == Kind::kFirstColumnZero) {
    for (int64_t r = 0; r < n; ++r) at(r, 0) = 0.0f;
  } else if (kind == Kind::kLaterFloatZero) {
    placeFloatOnlyZero(a, n, n / 2);
  } else if (kind == Kind::kHugeAndTiny) {
    // A zero pivot stays on the diagonal from the start.
    scaleByPowersOfTwo(a, random);
    for (int64_t r = 0; r < n; ++r) at(r, 0) = 0.0f;
  } else if (kind == Kind::kColumnTimesRow) {
    // After the first step every value below it is exactly zero, its float
    // mostly a rounding residue.
    const Matrix column(a.begin(), a.begin() + n);
    const Matrix row(a.begin() + n, a.begin() + 2 * n);
    for (int64_t r = 0; r < n; ++r) {
      for (int64_t c = 0; c < n; ++c) at(r, c) = column[r] * row[c];
    }
  } else if (kind == Kind::kZeroPivotThenOverflow) {
    // After the first step, position 1 is exactly zero, and below it
    // 0.33333334 - (1 / 3) * 1 is zero in floats, not exactly: the zero
    // pivot stays, its step changes nothing, and its column's exact values
    // stay. The later steps' overflowing factors make NaNs of those float
    // zeros in the plain steps, which the sweep then takes for pivots.
    scaleByPowersOfTwo(a, random);
    for (int64_t r = 0; r < n; ++r) {
      at(r, 0) = r < 2 ? 3.0f : 1.0f;
      at(r, 1) = r < 2 ? 1.0f : 1.0f / 3.0f;
    }
  } else if (kind == Kind::kRepeatedColumnLate) {
    // A zero pivot near the end, with steps and their sweeps after it.
    for (int64_t r = 0; r < n; ++r) at(r, n - 2) = at(r, n - 3);
  } else if (kind == Kind::kFloatZeroColumn) {
    // After the first step column 1 is zero in floats from the diagonal
    // down, but not exactly: its zero pivot stays, and the later steps'
    // overflowing factors make NaNs of those zeros in the plain steps.
    scaleByPowersOfTwo(a, random);
    at(0, 0) = 3.0f;
    at(0, 1) = 1.0f;
    for (int64_t r = 1; r < n; ++r) {
      at(r, 0) = 1.0f;
      at(r, 1) = 1.0f / 3.0f;
    }
  }
  return a;
}

// Every vector variant this processor runs, on one core and on two.
class ExactReductionTest : public ::testing::TestWithParam<std::tuple<std::string_view, bool>> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(selectVariant(std::get<0>(GetParam())));
    allowSecondCore(std::get<1>(GetParam()));
  }
  void TearDown() override {
    selectVariant(chosenVariant());
    allowSecondCore(true);
  }
};

std::string paramName(const ::testing::TestParamInfo<ExactReductionTest::ParamType>& info) {
  return std::string(std::get<0>(info.param)) +
         (std::get<1>(info.param) ? "_two_cores" : "_one_core");
}

INSTANTIATE_TEST_SUITE_P(Variants, ExactReductionTest,
                         ::testing::Combine(::testing::ValuesIn(availableVariants()),
                                            ::testing::Bool()),
                         paramName);

TEST_P(ExactReductionTest, DiagonalAloneAsThePlainSteps) {
  for (Kind kind :
       {Kind::kRandomFill, Kind::kSmallRange, Kind::kRankDeficient, Kind::kZerosSprinkled,
        Kind::kLateDependence, Kind::kFloatZeroOnly, Kind::kProportionalColumns,
        Kind::kFirstColumnZero, Kind::kLaterFloatZero, Kind::kHugeAndTiny, Kind::kFloatZeroColumn,
        Kind::kOnesAndTwos, Kind::kAllOnes, Kind::kColumnTimesRow, Kind::kRepeatedColumnLate,
        Kind::kZeroPivotThenOverflow}) {
    for (int64_t n : {9, 48, 63, 97, 130}) {
      for (unsigned seed = 0; seed < 3; ++seed) {
        const Matrix a = wholeMatrix(kind, n, seed * 131 + static_cast<unsigned>(n));
        const std::string what =
            kindName(kind) + ", side " + std::to_string(n) + ", seed " + std::to_string(seed);
        expectSameResult(a, n, diagonalReduction(a, n, plainFloatSteps),
                         what + ", plain float steps");
        expectSameResult(a, n, diagonalReduction(a, n, blockedFloatSteps),
                         what + ", blocked float steps");
        expectSameResult(a, n, oneByOneReduction(a, n), what + ", one by one");
        if (HasFatalFailure()) return;
      }
    }
  }
}

// The blocked float steps without sweeps stop where the plain ones do, and
// leave the same matrix.
TEST_P(ExactReductionTest, FloatStepsStopWhereThePlainOnesDo) {
  for (Kind kind : {Kind::kRandomFill, Kind::kSmallRange, Kind::kZerosSprinkled}) {
    for (int64_t n : {48, 64, 65, 130, 200}) {
      Matrix a = wholeMatrix(kind, n, static_cast<unsigned>(n));
      int sign = 1;
      reference::pivotSweep(a.data(), n, sign);
      bool zeroOnDiagonal = false;
      for (int64_t k = 0; k + 1 < n; ++k) zeroOnDiagonal |= a[k * n + k] == 0.0f;
      if (zeroOnDiagonal) continue;
      for (auto [first, limit] : {std::pair<int64_t, int64_t>{0, n}, {3, n}, {1, 70}}) {
        Matrix plain = a;
        for (int64_t j = 0; j < first; ++j) reference::eliminateColumn(plain.data(), n, j);
        Matrix blocked = plain;
        const int64_t plainReached = plainFloatSteps(plain.data(), n, first, limit);
        const int64_t blockedReached = blockedFloatSteps(blocked.data(), n, first, limit);
        const std::string what = kindName(kind) + ", side " + std::to_string(n);
        EXPECT_EQ(plainReached, blockedReached) << what;
        // The diagonal and the columns from the last step's on.
        for (int64_t r = 0; r < n; ++r) {
          for (int64_t c = std::min(r, plainReached - 1); c < n; ++c) {
            ASSERT_TRUE(sameBits(plain[r * n + c], blocked[r * n + c]))
                << what << ", entry " << r << ", " << c;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace trelvo::kernels
