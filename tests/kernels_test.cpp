// The fast kernels against the plain code, bit for bit, for every vector
// variant this processor can run: sizes around the vector widths, the tiles,
// the panels and the cache blocks; data with zeros of both signs, NaN of
// both signs and infinities; and zero pivots that force exchanges.
#include "kernels/kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/exact/exact_zeros.h"
#include "kernels/parallel.h"
#include "kernels/reference.h"

namespace trelvo::kernels {
namespace {

using Matrix = std::vector<float>;

constexpr float kInf = std::numeric_limits<float>::infinity();

float negativeNaN() { return -std::numeric_limits<float>::quiet_NaN(); }

// The kinds of data, each a way to draw one element.
enum class Data { kWhole, kSmallWholes, kSpecials, kWideRange };

std::string dataName(Data data) {
  switch (data) {
    case Data::kWhole:
      return "whole numbers";
    case Data::kSmallWholes:
      return "0, 1, 2 and -0.0";
    case Data::kSpecials:
      return "zeros, NaN and infinities";
    case Data::kWideRange:
      return "wide exponents";
  }
  return "";
}

float draw(Data data, std::mt19937& random) {
  std::uniform_int_distribution<int> pick(0, 99);
  int k = pick(random);
  switch (data) {
    case Data::kWhole:
      return static_cast<float>(k % 19) - 9.0f;
    case Data::kSmallWholes:
      return k < 10 ? -0.0f : static_cast<float>(k % 3);
    case Data::kSpecials:
      if (k < 3) return kInf;
      if (k < 5) return -kInf;
      if (k < 7) return std::numeric_limits<float>::quiet_NaN();
      if (k < 9) return negativeNaN();
      if (k < 15) return -0.0f;
      if (k < 25) return 0.0f;
      return static_cast<float>(k) / 7.0f - 6.0f;
    case Data::kWideRange:
      return std::ldexp(static_cast<float>(k) - 49.5f, pick(random) % 120 - 60);
  }
  return 0.0f;
}

Matrix randomMatrix(int64_t rows, int64_t cols, Data data, unsigned seed) {
  std::mt19937 random(seed);
  Matrix m(rows * cols);
  for (float& x : m) x = draw(data, random);
  return m;
}

::testing::AssertionResult sameBits(const Matrix& expected, const Matrix& actual) {
  for (size_t k = 0; k < expected.size(); ++k) {
    uint32_t e = 0;
    uint32_t a = 0;
    std::memcpy(&e, &expected[k], 4);
    std::memcpy(&a, &actual[k], 4);
    if (e != a) {
      return ::testing::AssertionFailure()
             << "element " << k << ": expected " << expected[k] << " (0x" << std::hex << e
             << "), got " << actual[k] << " (0x" << a << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

// Runs every test once per vector variant, with and without the second core.
class KernelsTest : public ::testing::TestWithParam<std::tuple<std::string, bool>> {
 protected:
  void SetUp() override {
    auto [variant, secondCore] = GetParam();
    if (!selectVariant(variant)) GTEST_SKIP() << variant << " cannot run here";
    allowSecondCore(secondCore);
  }
  void TearDown() override {
    selectVariant(chosenVariant());
    allowSecondCore(true);
  }
};

std::string paramName(const ::testing::TestParamInfo<KernelsTest::ParamType>& info) {
  return std::get<0>(info.param) + (std::get<1>(info.param) ? "_two_cores" : "_one_core");
}

INSTANTIATE_TEST_SUITE_P(Variants, KernelsTest,
                         ::testing::Combine(::testing::Values("avx512", "avx2", "generic"),
                                            ::testing::Bool()),
                         paramName);

// ---------------------------------------------------------------------------
// The product.

struct ProductShape {
  int64_t rows, inner, cols2;
};

void expectSameProduct(const ProductShape& shape, const Matrix& f, const Matrix& s,
                       const std::string& what) {
  Matrix expected(shape.rows * shape.cols2);
  Matrix actual(shape.rows * shape.cols2, 7.0f);  // the kernel must start from +0.0
  reference::multiply(f.data(), s.data(), expected.data(), shape.rows, shape.inner, shape.cols2);
  blocked::multiply(f.data(), s.data(), actual.data(), shape.rows, shape.inner, shape.cols2);
  EXPECT_TRUE(sameBits(expected, actual)) << shape.rows << " x " << shape.inner << " by "
                                          << shape.inner << " x " << shape.cols2 << ", " << what;
}

void expectSameProduct(const ProductShape& shape, Data data, unsigned seed, Data secondData) {
  expectSameProduct(shape, randomMatrix(shape.rows, shape.inner, data, seed),
                    randomMatrix(shape.inner, shape.cols2, secondData, seed + 1),
                    dataName(data) + " by " + dataName(secondData));
}

void expectSameProduct(const ProductShape& shape, Data data, unsigned seed) {
  expectSameProduct(shape, data, seed, data);
}

TEST_P(KernelsTest, ProductAroundTilesAndVectors) {
  for (int64_t side :
       {1, 2, 3, 4, 5, 7, 8, 9, 11, 12, 13, 15, 16, 17, 24, 31, 32, 33, 47, 48, 49}) {
    for (Data data : {Data::kWhole, Data::kSpecials, Data::kWideRange}) {
      expectSameProduct({side, side, side}, data, static_cast<unsigned>(side));
      expectSameProduct({side + 1, 3, side + 2}, data, static_cast<unsigned>(side) + 100);
    }
  }
}

TEST_P(KernelsTest, ProductAcrossCacheBlocks) {
  const ProductShape shapes[] = {
      {961, 40, 33},  // several row blocks
      {25, 513, 35},  // depth blocks (of 256 or 512 terms)
      {13, 3, 2100},  // column blocks (of 1024 or 2048)
      {70, 300, 97},
  };
  for (const ProductShape& shape : shapes) {
    for (Data data : {Data::kWhole, Data::kSpecials, Data::kWideRange}) {
      expectSameProduct(shape, data, 7);
    }
  }
}

// Work enough for two cores: they pack each column block between them, a
// share each (one share empty when the block is one panel), into two
// buffers in turn.
TEST_P(KernelsTest, ProductOfTwoCoresSharingColumnBlocks) {
  const ProductShape shapes[] = {
      {3100, 130, 64},  // one column panel
      {1500, 300, 65},  // one column past the first panel
      {60, 1030, 1000},  // several depth blocks
      {20, 300, 4200},  // several column blocks
  };
  for (const ProductShape& shape : shapes) {
    expectSameProduct(shape, Data::kWhole, 9);
  }
  expectSameProduct(shapes[1], Data::kSpecials, 10);
  expectSameProduct(shapes[2], Data::kWideRange, 11);
}

// NaN in both factors of a term, the column's in the share the second core
// packs: both cores take every product of that block in order.
TEST_P(KernelsTest, ProductOfTwoCoresWithNaNInTheSecondShareOfColumns) {
  const ProductShape shape{1500, 300, 65};
  Matrix f = randomMatrix(shape.rows, shape.inner, Data::kWhole, 12);
  Matrix s = randomMatrix(shape.inner, shape.cols2, Data::kWhole, 13);
  for (int64_t i = 0; i < shape.rows; i += 7) f[i * shape.inner + 5] = negativeNaN();
  s[5 * shape.cols2 + 64] = std::numeric_limits<float>::quiet_NaN();
  expectSameProduct(shape, f, s, "NaN of either sign in one term");
}

// The first factor read in place from one member of a run of pairs: the
// other member, NaN throughout, must not leak into the product.
TEST_P(KernelsTest, ProductOfAFactorReadFromOneMemberOfPairs) {
  const ProductShape shapes[] = {{5, 4, 3}, {961, 40, 33}, {25, 513, 35}, {13, 3, 2100},
                                 {1500, 300, 65}};
  for (const ProductShape& shape : shapes) {
    const Matrix f = randomMatrix(shape.rows, shape.inner, Data::kSpecials, 14);
    const Matrix s = randomMatrix(shape.inner, shape.cols2, Data::kWhole, 15);
    Matrix expected(shape.rows * shape.cols2);
    reference::multiply(f.data(), s.data(), expected.data(), shape.rows, shape.inner, shape.cols2);
    for (int member : {0, 1}) {
      Matrix pairs(2 * f.size(), negativeNaN());
      for (size_t k = 0; k < f.size(); ++k) pairs[2 * k + member] = f[k];
      Matrix viaBlocks(expected.size(), 7.0f);
      Matrix viaEntryPoint(expected.size(), 7.0f);
      blocked::multiply(pairs.data() + member, s.data(), viaBlocks.data(), shape.rows, shape.inner,
                        shape.cols2, 2);
      multiply(pairs.data() + member, s.data(), viaEntryPoint.data(), shape.rows, shape.inner,
               shape.cols2, 2);
      EXPECT_TRUE(sameBits(expected, viaBlocks)) << shape.rows << " x " << shape.inner
                                                 << ", member " << member;
      EXPECT_TRUE(sameBits(expected, viaEntryPoint)) << shape.rows << " x " << shape.inner
                                                     << ", member " << member;
    }
  }
}

// One member of a run of pairs copied out, the longest on two cores (each
// taking a share).
TEST_P(KernelsTest, GatherOfOneMemberOfPairs) {
  for (int64_t count : {int64_t{0}, int64_t{1}, int64_t{1025}, int64_t{3} << 19}) {
    Matrix pairs(2 * count);
    for (int64_t k = 0; k < 2 * count; ++k) pairs[k] = static_cast<float>(k % 2 == 0 ? k : -k);
    for (int member : {0, 1}) {
      Matrix copied(count, 7.0f);
      gather(pairs.data() + member, 2, count, copied.data());
      for (int64_t k = 0; k < count; ++k) {
        ASSERT_EQ(copied[k], pairs[2 * k + member]) << "count " << count << ", element " << k;
      }
    }
  }
}

// Blocks where only one factor has NaN may take their products either way
// round; where both have, only in order.
TEST_P(KernelsTest, ProductWithNaNInOneFactorOrInBoth) {
  const ProductShape shapes[] = {{70, 300, 97}, {961, 40, 33}, {13, 3, 2100}};
  for (const ProductShape& shape : shapes) {
    expectSameProduct(shape, Data::kSpecials, 3, Data::kWhole);
    expectSameProduct(shape, Data::kWhole, 4, Data::kSpecials);
    expectSameProduct(shape, Data::kSpecials, 5, Data::kSpecials);
  }
}

// A sum that is -0.0 after its first term ends +0.0 when it starts from +0.0;
// a NaN factor meeting a NaN of the other sign keeps the factor's sign.
TEST_P(KernelsTest, ProductZeroSignsAndNaNSigns) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Matrix f = {-1.0f, -0.0f, nan, negativeNaN(), -0.0f, -0.0f, kInf, 0.0f};
  Matrix s = {0.0f, 1.0f, negativeNaN(), nan, 0.0f, kInf, 0.0f, 1.0f};
  Matrix expected(4 * 4);
  Matrix actual(4 * 4);
  reference::multiply(f.data(), s.data(), expected.data(), 4, 2, 4);
  blocked::multiply(f.data(), s.data(), actual.data(), 4, 2, 4);
  EXPECT_TRUE(sameBits(expected, actual));
  EXPECT_FALSE(std::signbit(expected[0]));  // (-1) * 0 + 0 is +0.0
}

// ---------------------------------------------------------------------------
// The reduction.

Matrix diagonalOf(const Matrix& a, int64_t n) {
  Matrix diagonal(n);
  for (int64_t d = 0; d < n; ++d) diagonal[d] = a[d * n + d];
  return diagonal;
}

// The whole reduction, and the diagonal and the sign of the determinant's.
void expectSameReduction(Matrix a, int64_t n, const std::string& what) {
  Matrix expected = a;
  int expectedSign = 1;
  reference::pivotSweep(expected.data(), n, expectedSign);
  int sign = expectedSign;
  int diagonalSign = expectedSign;
  const Matrix swept = expected;
  Matrix actual = swept;
  Matrix diagonalOnly = swept;
  reference::reduceColumns(expected.data(), n, expectedSign);
  blocked::reduceColumns(actual.data(), n, sign);
  blocked::reduceDiagonal(diagonalOnly.data(), n, diagonalSign,
                          [&] { std::copy(swept.begin(), swept.end(), diagonalOnly.begin()); });
  EXPECT_TRUE(sameBits(expected, actual)) << "side " << n << ", " << what;
  EXPECT_EQ(expectedSign, sign) << "side " << n << ", " << what;
  EXPECT_TRUE(sameBits(diagonalOf(expected, n), diagonalOf(diagonalOnly, n)))
      << "diagonal only, side " << n << ", " << what;
  EXPECT_EQ(expectedSign, diagonalSign) << "diagonal only, side " << n << ", " << what;
}

TEST_P(KernelsTest, ReductionAroundTilesPanelsAndBlocks) {
  for (int64_t n :
       {1, 2, 3, 5, 8, 12, 13, 16, 17, 31, 32, 33, 47, 48, 49, 127, 128, 129, 200, 257}) {
    for (Data data : {Data::kWhole, Data::kSmallWholes, Data::kSpecials, Data::kWideRange}) {
      expectSameReduction(randomMatrix(n, n, data, static_cast<unsigned>(n)), n, dataName(data));
    }
  }
}

// The rows below a panel take its steps side by side, a row a lane: their
// count around whole groups of 4, 8 and 16 lanes, the last row's zero
// diagonal entry (met by no sweep) among them.
TEST_P(KernelsTest, ReductionAroundGroupsOfLanesBelowAPanel) {
  for (int64_t below : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33}) {
    const int64_t n = 64 + below;
    for (Data data : {Data::kWhole, Data::kSmallWholes, Data::kSpecials}) {
      expectSameReduction(randomMatrix(n, n, data, static_cast<unsigned>(below)), n,
                          dataName(data));
    }
    Matrix lastRowRepeated = randomMatrix(n, n, Data::kWhole, static_cast<unsigned>(below) + 50);
    std::copy(lastRowRepeated.begin(), lastRowRepeated.begin() + n, lastRowRepeated.end() - n);
    expectSameReduction(lastRowRepeated, n, "last row equal to the first");
  }
}

// A row below the first panel with zeros up to its diagonal takes none of
// the steps before it: an infinity in the first pivot row, in that row's
// diagonal column, would make a NaN of its diagonal entry if it took one
// with a zero factor. The rows sit inside whole groups of lanes.
TEST_P(KernelsTest, ReductionLeavesRowsBelowAPanelThatTakeNoStep) {
  const int64_t n = 96;
  Matrix a = randomMatrix(n, n, Data::kWhole, 7);
  for (int64_t row : {70, 90}) {
    std::fill(a.begin() + row * n, a.begin() + row * n + row, 0.0f);
    a[row] = kInf;
  }
  expectSameReduction(a, n, "rows that take no step");
}

TEST_P(KernelsTest, ReductionAcrossTheSecondBlockOfRows) {
  expectSameReduction(randomMatrix(970, 970, Data::kWhole, 3), 970, "whole numbers");
}

// Work enough for two cores in the rows below the first panel, which the
// cores take from both ends: a row near each end meets a zero on its
// diagonal after the first step (a[k][k] a[0][0] = a[k][0] a[0][k]), and
// every row below the panel goes back as it was for the replay. No other
// zero comes before: whole numbers from 1 to 100.
TEST_P(KernelsTest, ReductionMeetingZerosInBothCoresRowsBelowAPanel) {
  const int64_t n = 800;
  for (const std::vector<int64_t>& rows : {std::vector<int64_t>{100}, {790}, {100, 790}}) {
    std::mt19937 random(23);
    std::uniform_int_distribution<int> pick(1, 100);
    Matrix a(n * n);
    for (float& x : a) x = static_cast<float>(pick(random));
    a[0] = 3.0f;
    std::ostringstream where;
    where << "zeros after step 0 in rows";
    for (int64_t k : rows) {
      a[k * n] = 2.0f * a[0];
      a[k * n + k] = 2.0f * a[k];
      where << ' ' << k;
    }
    expectSameReduction(a, n, where.str());
  }
}

// Rank-deficient matrices leave zero pivots with nothing below them, and
// the sweeps after them keep finding the zero.
TEST_P(KernelsTest, ReductionOfSingularMatrices) {
  for (int64_t n : {20, 130}) {
    Matrix equalRows = randomMatrix(n, n, Data::kWhole, 11);
    std::copy(equalRows.begin() + 2 * n, equalRows.begin() + 3 * n, equalRows.begin() + 9 * n);
    expectSameReduction(equalRows, n, "two equal rows");
    expectSameReduction(Matrix(n * n, 1.0f), n, "all ones");
    Matrix lowRank(n * n);
    for (int64_t r = 0; r < n; ++r) {
      for (int64_t c = 0; c < n; ++c)
        lowRank[r * n + c] = static_cast<float>((r % 3 + 1) * (c + 1));
    }
    expectSameReduction(lowRank, n, "rank three");
  }
}

// Zero pivots with non-zero entries below: exchanges at the first sweep and
// after later steps, in the middle of a panel and at its edges.
TEST_P(KernelsTest, ReductionWithExchanges) {
  const int64_t n = 300;
  for (int64_t k : {0, 1, 5, 63, 127, 128, 129, 200, 298}) {
    Matrix a = randomMatrix(n, n, Data::kWhole, static_cast<unsigned>(k));
    // Row k agrees with row k - 1 up to column k, so step k - 1 leaves it
    // exactly zero there: the pivot at k is zero, with non-zeros below.
    for (int64_t c = 0; c <= k; ++c) a[k * n + c] = k == 0 ? 0.0f : a[(k - 1) * n + c];
    expectSameReduction(a, n, "zero pivot at " + std::to_string(k));
  }
}

// Whole numbers meet zeros on the diagonal after the first steps, far down
// (a[k][k] a[0][0] = a[k][0] a[0][k]): exchanges there, and then, or not,
// another one much later.
TEST_P(KernelsTest, ReductionWithZerosAfterTheFirstStepFarDown) {
  const int64_t n = 300;
  for (int64_t late : {int64_t{0}, int64_t{200}}) {
    Matrix a = randomMatrix(n, n, Data::kWhole, 17);
    a[0] = 3.0f;
    for (int64_t k : {150, 299}) {
      a[k * n] = 2.0f * a[0];
      a[k * n + k] = 2.0f * a[k];
    }
    if (late > 0) {
      for (int64_t c = 0; c <= late; ++c) a[late * n + c] = a[(late - 1) * n + c];
    }
    expectSameReduction(a, n, "zeros after step 0, late zero pivot at " + std::to_string(late));
  }
}

// A pivot passed as zero, with only zeros below it, whose column below
// turns non-zero later (0 times an infinite factor is NaN): the sweep after
// that step exchanges at the old position.
TEST_P(KernelsTest, ReductionWithLateExchangesAtAPassedZeroPivot) {
  const int64_t n = 200;
  for (auto [k, j] : {std::pair{0, 1}, {3, 20}, {10, 140}, {130, 190}}) {
    Matrix a = randomMatrix(n, n, Data::kWhole, static_cast<unsigned>(j));
    for (int64_t r = 0; r < n; ++r) a[r * n + k] = 0.0f;
    for (int64_t c = 0; c < n; ++c) {
      a[j * n + c] = a[j * n + c] * 1e-30f;
      a[(j + 1) * n + c] = a[(j + 1) * n + c] * 1e30f;
    }
    expectSameReduction(
        a, n, "zero column " + std::to_string(k) + ", infinite factor at " + std::to_string(j));
  }
}

// L U with L unit lower and U upper, both of small non-negative whole
// numbers and U's diagonal all ones: the reduction of L U is exact, and no
// diagonal entry is ever zero (each is a sum of non-negative terms, one of
// them 1). At each of `late`, rows s and s + 1 change places and column s
// of L is zero below the diagonal: step s - 1 leaves a zero at (s, s) with
// one non-zero below it, and after that exchange the reduction goes on as
// that of L U. With `withNothingBelow` U's (s, s) is zero and the rows stay:
// the zero has only zeros below it.
Matrix withLateZeroPivots(int64_t n, const std::vector<int64_t>& late, bool withNothingBelow) {
  std::mt19937 random(static_cast<unsigned>(n + late.front()));
  std::uniform_int_distribution<int> pick(0, 15);
  std::vector<int64_t> l(n * n, 0);
  std::vector<int64_t> u(n * n, 0);
  for (int64_t i = 0; i < n; ++i) {
    l[i * n + i] = 1;
    u[i * n + i] = 1;
    for (int64_t k = 0; k < i; ++k) l[i * n + k] = pick(random) < 2;
    for (int64_t j = i + 1; j < n; ++j) u[i * n + j] = pick(random) % 4;
  }
  for (int64_t s : late) {
    for (int64_t p = s + 1; p < n; ++p) l[p * n + s] = 0;
    // Non-zero at (s, s) until step s - 1, whichever row lands there.
    l[(s + 1) * n + s - 1] = 1;
    l[s * n + s - 1] = 1;
    u[(s - 1) * n + s] = 1;
    u[s * n + s + 1] = 1;
    if (withNothingBelow) u[s * n + s] = 0;
  }
  Matrix a(n * n);
  for (int64_t i = 0; i < n; ++i) {
    for (int64_t j = 0; j < n; ++j) {
      int64_t sum = 0;
      for (int64_t k = 0; k <= std::min(i, j); ++k) sum += l[i * n + k] * u[k * n + j];
      a[i * n + j] = static_cast<float>(sum);
    }
  }
  if (!withNothingBelow) {
    for (int64_t s : late) std::swap_ranges(&a[s * n], &a[s * n] + n, &a[(s + 1) * n]);
  }
  return a;
}

// Zero pivots met after hundreds of steps, one or several, inside a panel,
// at its first and last step and in the last one; and a late zero pivot
// with nothing below it.
TEST_P(KernelsTest, ReductionWithLateZeroPivots) {
  const int64_t n = 330;
  const std::vector<std::vector<int64_t>> cases = {
      {300}, {128}, {127}, {191, 200}, {150, 153, 156, 260, 326}};
  for (const std::vector<int64_t>& late : cases) {
    std::ostringstream where;
    where << "zero pivots at";
    for (int64_t s : late) where << ' ' << s;
    expectSameReduction(withLateZeroPivots(n, late, false), n, where.str());
  }
  expectSameReduction(withLateZeroPivots(n, {250}, true), n, "nothing below the zero at 250");
}

// Whole numbers from 1 to 100, as the random fill gives them: zeros turn up
// on the diagonal after many steps in a good share of such matrices, often
// several in one, and the sweep after them exchanges rows. Seed 184 (side
// 300) meets one that only a row below a panel sees, through the panel's
// pivot rows right of the panel.
TEST_P(KernelsTest, ReductionOfTheRandomFillsWholeNumbers) {
  const std::pair<int64_t, unsigned> cases[] = {{300, 1}, {300, 2}, {300, 3}, {300, 184},
                                                {520, 1}, {520, 2}, {520, 3}};
  for (auto [n, seed] : cases) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pick(1, 100);
    Matrix a(n * n);
    for (float& x : a) x = static_cast<float>(pick(random));
    expectSameReduction(a, n, "whole numbers 1 to 100, seed " + std::to_string(seed));
  }
}

TEST_P(KernelsTest, EliminationOfOneColumn) {
  for (int64_t n : {5, 17, 40}) {
    for (Data data : {Data::kWhole, Data::kSpecials}) {
      Matrix expected = randomMatrix(n, n, data, static_cast<unsigned>(n));
      expected[0] = 3.0f;
      Matrix actual = expected;
      reference::eliminateColumn(expected.data(), n, 0);
      eliminateColumn(actual.data(), n, 0);
      EXPECT_TRUE(sameBits(expected, actual)) << "side " << n << ", " << dataName(data);
    }
  }
}

// ---------------------------------------------------------------------------
// The determinants of the minors.

void expectSameMinors(const Matrix& a, int64_t n, const std::string& what) {
  Matrix expected(n * n);
  Matrix actual(n * n);
  std::vector<uint8_t> expectedReduced(n * n);
  std::vector<uint8_t> reduced(n * n);
  reference::minorDeterminants(a.data(), n, expected.data(), expectedReduced.data());
  minorDeterminants(a.data(), n, actual.data(), reduced.data());
  EXPECT_TRUE(sameBits(expected, actual)) << "side " << n << ", " << what;
  EXPECT_EQ(expectedReduced, reduced) << "side " << n << ", " << what;
}

TEST_P(KernelsTest, MinorDeterminants) {
  for (int64_t n : {2, 3, 7, 8, 9, 13, 17, 18, 33}) {
    for (Data data : {Data::kWhole, Data::kSmallWholes, Data::kSpecials, Data::kWideRange}) {
      expectSameMinors(randomMatrix(n, n, data, static_cast<unsigned>(n)), n, dataName(data));
    }
  }
}

// The progress hook: told on the calling thread only, of counts that grow
// up to the number of positions, without changing a bit of the results.
TEST_P(KernelsTest, MinorDeterminantsTellTheirProgress) {
  const int64_t n = 60;
  const Matrix a = randomMatrix(n, n, Data::kWhole, 11);
  Matrix expected(n * n), actual(n * n);
  std::vector<uint8_t> expectedReduced(n * n), reduced(n * n);
  minorDeterminants(a.data(), n, expected.data(), expectedReduced.data());
  std::vector<int64_t> told;
  bool elsewhere = false;
  const std::thread::id caller = std::this_thread::get_id();
  minorDeterminants(a.data(), n, actual.data(), reduced.data(), [&](int64_t done, int64_t total) {
    elsewhere |= std::this_thread::get_id() != caller;
    EXPECT_EQ(total, n * n);
    told.push_back(done);
  });
  EXPECT_TRUE(sameBits(expected, actual));
  EXPECT_EQ(expectedReduced, reduced);
  EXPECT_FALSE(elsewhere);
  ASSERT_FALSE(told.empty());
  EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
  EXPECT_GT(told.front(), 0);
  EXPECT_LE(told.back(), n * n);
}

// Zero pivots send lanes to the plain path; a zero row gives the shortcut.
TEST_P(KernelsTest, MinorDeterminantsWithZeroPivotsAndZeroLines) {
  const int64_t n = 20;
  Matrix a = randomMatrix(n, n, Data::kWhole, 5);
  a[0] = 0.0f;
  a[1 * n + 1] = 0.0f;
  for (int64_t c = 0; c < n; ++c) a[4 * n + c] = c == 6 ? 2.0f : 0.0f;
  expectSameMinors(a, n, "zero pivots and a row with one non-zero");
  expectSameMinors(Matrix(n * n, 1.0f), n, "all ones");
}

// Rows that agree with the row above up to a column leave a zero pivot
// after some steps of the minors that keep them: those lanes go back to the
// plain path late, some after a panel of steps, beside lanes that finish.
TEST_P(KernelsTest, MinorDeterminantsWithLateZeroPivots) {
  const int64_t n = 40;
  for (int64_t k : {5, 9, 17, 30, 38}) {
    Matrix a = randomMatrix(n, n, Data::kWhole, static_cast<unsigned>(k));
    for (int64_t c = 0; c <= k; ++c) a[k * n + c] = a[(k - 1) * n + c];
    expectSameMinors(a, n, "row " + std::to_string(k) + " repeats the start of the row above");
    // And a zero pivot at the start as well: the lanes' first steps taken
    // with exchanges, then a zero again later.
    a[0] = 0.0f;
    expectSameMinors(a, n, "zero first pivot, row " + std::to_string(k) + " repeating");
  }
}

// Small whole numbers, some rows sums of others: exact zeros at tested
// values and rounding residues where the exact value is zero, which the
// exact zero test decides, in some lanes and not in others.
TEST_P(KernelsTest, MinorDeterminantsOfSingularWholeNumbers) {
  for (int64_t n : {7, 9, 13, 17, 26, 41}) {
    for (int dependent : {0, 1, 2}) {
      std::mt19937 random(static_cast<unsigned>(n * 3 + dependent));
      std::uniform_int_distribution<int> entry(1, 3);
      Matrix a(n * n);
      for (float& x : a) x = static_cast<float>(entry(random));
      for (int d = 0; d < dependent; ++d) {
        const int64_t r = n - 1 - d;
        for (int64_t c = 0; c < n; ++c) a[r * n + c] = a[d * n + c] + a[(d + 1) * n + c];
      }
      expectSameMinors(a, n, std::to_string(dependent) + " rows sums of two others");
    }
  }
}

// Sides around the panel of steps and the register tiles of the update.
TEST_P(KernelsTest, MinorDeterminantsAroundPanels) {
  for (int64_t n : {10, 16, 17, 24, 25, 26, 41}) {
    for (Data data : {Data::kWhole, Data::kSpecials}) {
      expectSameMinors(randomMatrix(n, n, data, static_cast<unsigned>(n) + 50), n, dataName(data));
    }
  }
}

// The minors of a row (or of a column) share the steps of the matrix
// without it, and each leaves them for steps of its own where one of the
// values its sweeps test is zero there: on the diagonal, or beside it
// (right of it for the minors of a row, below it for those of a column),
// a float zero or an exact one only. Each case puts such zeros somewhere,
// or makes the whole singular, or gives some minors no exact values; the
// sides span one batch of lanes and several, with the exact zero test on
// and off.
struct SharedStepsCase {
  const char* what;
  void (*change)(Matrix& a, int64_t n);
};

const SharedStepsCase kSharedStepsCases[] = {
    {"row 5 repeats row 4 up to column 6",
     [](Matrix& a, int64_t n) { std::copy_n(a.begin() + 4 * n, 7, a.begin() + 5 * n); }},
    {"column 5 repeats column 4 down to row 6",
     [](Matrix& a, int64_t n) {
       for (int64_t r = 0; r <= 6; ++r) a[r * n + 5] = a[r * n + 4];
     }},
    {"row n - 3 the sum of rows 1 and 2 up to the middle",
     [](Matrix& a, int64_t n) {
       for (int64_t c = 0; c <= n / 2; ++c) a[(n - 3) * n + c] = a[n + c] + a[2 * n + c];
     }},
    {"the last two rows sums of others (rank n - 2)",
     [](Matrix& a, int64_t n) {
       for (int64_t c = 0; c < n; ++c) {
         a[(n - 2) * n + c] = a[c] + a[3 * n + c];
         a[(n - 1) * n + c] = a[n + c] - a[2 * n + c];
       }
     }},
    {"a zero first pivot and a zero in the middle",
     [](Matrix& a, int64_t n) {
       a[0] = 0.0f;
       a[(n / 2) * n + n / 2] = 0.0f;
     }},
    {"thirds and sevenths, rounded", [](Matrix& a, int64_t n) {
       for (int64_t k = 0; k < n * n; ++k) a[k] /= (k % 2 == 0 ? 3.0f : 7.0f);
       for (int64_t c = 0; c < n; ++c) a[4 * n + c] = a[c] + a[2 * n + c];
     }},
    {"an infinity", [](Matrix& a, int64_t n) { a[3 * n + 2] = kInf; }},
    {"a NaN and an infinity in other rows and columns",
     [](Matrix& a, int64_t n) {
       a[n + 6] = negativeNaN();
       a[(n - 2) * n + 1] = -kInf;
     }},
};

// Whole numbers from 1 to `top`, as users fill a matrix.
Matrix wholesUpTo(int top, int64_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> entry(1, top);
  Matrix a(n * n);
  for (float& x : a) x = static_cast<float>(entry(random));
  return a;
}

// The product of an n x rank and a rank x n matrix of whole numbers from 1
// to `top`: every minor is singular below rank n - 1, and the sweeps meet
// zeros that stay, with rounding residues in their columns.
Matrix productOfRank(int top, int64_t n, int64_t rank, unsigned seed) {
  const Matrix left = wholesUpTo(top, n * rank, seed);
  const Matrix right = wholesUpTo(top, rank * n, seed + 1);
  Matrix a(n * n);
  reference::multiply(left.data(), right.data(), a.data(), n, rank, n);
  return a;
}

// Small whole numbers meet exact zeros in the first steps, where the sweeps
// act for nearly every minor: the minors of a row part into sets where
// their sweeps decide differently, each set going on from a copy of the
// steps, its minors on lanes or, where those meet a zero, each alone as a
// set of its own to the end; a zero that stays on the diagonal keeps its
// set. Sides around one batch of lanes of each width and the smallest
// sets; fills 1 to 2, 3 and 10, and products of lower rank.
TEST_P(KernelsTest, MinorDeterminantsOfSmallWholeNumbers) {
  for (int64_t n : {5, 9, 12, 17, 33, 40}) {
    for (int top : {2, 3, 10}) {
      expectSameMinors(wholesUpTo(top, n, static_cast<unsigned>(n + top)), n,
                       "whole numbers 1 to " + std::to_string(top));
    }
  }
  struct Product {
    int top;
    int64_t n;
    int64_t rank;
  };
  const Product products[] = {{2, 9, 8},   {2, 17, 16},  {3, 17, 15}, {2, 26, 25},
                              {3, 26, 24}, {10, 33, 32}, {2, 40, 20}};
  for (const Product& p : products) {
    expectSameMinors(
        productOfRank(p.top, p.n, p.rank, static_cast<unsigned>(p.n + p.rank)), p.n,
        "rank " + std::to_string(p.rank) + ", whole numbers 1 to " + std::to_string(p.top));
  }
}

TEST_P(KernelsTest, MinorDeterminantsLeavingTheSharedSteps) {
  for (bool exactZeros : {true, false}) {
    useExactZeros(exactZeros);
    for (int64_t n : {9, 26}) {
      for (const SharedStepsCase& c : kSharedStepsCases) {
        Matrix a = randomMatrix(n, n, Data::kWhole, static_cast<unsigned>(n) + 7);
        c.change(a, n);
        expectSameMinors(a, n, std::string(c.what) + (exactZeros ? "" : ", float zeros"));
      }
      expectSameMinors(randomMatrix(n, n, Data::kSmallWholes, 3), n, "0, 1, 2 and -0.0");
    }
  }
  useExactZeros(true);
}

// Two cores take the groups of minors as they come free, each with the
// steps of the whole matrix of its own: the results are those of one core,
// where the minors share their steps and where they leave them.
TEST_P(KernelsTest, MinorDeterminantsOnTwoCoresAsOnOne) {
  // Both core settings are taken here: once per variant is enough (under an
  // instruction emulator a run takes minutes).
  if (!std::get<1>(GetParam())) GTEST_SKIP() << "runs with the two-core parameter";
  Matrix infinite = randomMatrix(64, 64, Data::kWhole, 29);
  kSharedStepsCases[6].change(infinite, 64);
  struct Case {
    const char* what;
    int64_t n;
    Matrix a;
  };
  // Sides with work enough for two cores.
  const Case cases[] = {
      // Minors that mostly keep to the shared steps (those that leave them
      // take the plain code's time).
      {kSharedStepsCases[6].what, 64, infinite},
      // Minors that mostly go on row by row from sets of steps.
      {"whole numbers 1 to 10", 52, wholesUpTo(10, 52, 31)},
  };
  for (const auto& [what, n, a] : cases) {
    Matrix one(n * n), two(n * n);
    std::vector<uint8_t> oneReduced(n * n), twoReduced(n * n);
    allowSecondCore(false);
    minorDeterminants(a.data(), n, one.data(), oneReduced.data());
    allowSecondCore(true);
    minorDeterminants(a.data(), n, two.data(), twoReduced.data());
    EXPECT_TRUE(sameBits(one, two)) << what;
    EXPECT_EQ(oneReduced, twoReduced) << what;
  }
}

}  // namespace
}  // namespace trelvo::kernels
