// The rank and the solutions of linear systems against exact rationals, on
// seeded matrices of whole numbers and of decimals as typed, many of them
// rank-deficient: the ranks, the verdict, which coefficients are zero and
// the reduced row echelon form's values within rounding.
#include "kernels/reduction/echelon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "dialogue/number_input.h"
#include "exact_truth.h"

namespace trelvo {
namespace {

using namespace testing;  // the exact truth

// The reduced row echelon form of a rows x cols matrix of rationals (unique,
// whatever the pivots chosen): its pivot columns and its rows.
struct ExactReduced {
  std::vector<int> pivotColumns;
  std::vector<std::vector<Rational>> rows;
};

ExactReduced exactReduced(std::vector<std::vector<Rational>> a, int cols) {
  ExactReduced out;
  size_t r = 0;
  for (int c = 0; c < cols && r < a.size(); ++c) {
    size_t p = r;
    while (p < a.size() && a[p][c].isZero()) ++p;
    if (p == a.size()) continue;
    std::swap(a[r], a[p]);
    const Rational pivot = a[r][c];
    for (Rational& x : a[r]) x = x / pivot;
    for (size_t i = 0; i < a.size(); ++i) {
      if (i == r || a[i][c].isZero()) continue;
      const Rational m = a[i][c];
      for (int k = 0; k < cols; ++k) a[i][k] = a[i][k] - m * a[r][k];
    }
    out.pivotColumns.push_back(c);
    ++r;
  }
  a.resize(r);
  out.rows = a;
  return out;
}

// A rows x cols matrix of whole numbers (places 0) or of decimals with
// `places` digits, some rows combinations of two others with coefficients
// in tenths, given as typed (floats) and as exact values.
struct Sample {
  std::vector<float> typed;
  std::vector<std::vector<Rational>> exact;
};

Sample sample(int rows, int cols, int places, int dependent, std::mt19937& random) {
  Int scale = 1;
  for (int k = 0; k <= places; ++k) scale *= 10;
  const int largest = places == 0 ? 3 : 2 * static_cast<int>(scale / 10);
  std::uniform_int_distribution<int> entry(-largest, largest), coefficient(-15, 15);
  std::vector<std::vector<Int>> whole(rows, std::vector<Int>(cols));
  for (auto& row : whole) {
    for (Int& x : row) x = entry(random) * 10;
  }
  for (int d = 0; d < dependent && rows >= 3; ++d) {
    const int target = rows - 1 - d, i = d % 2, j = 2 % (rows - d);
    const int ci = coefficient(random), cj = coefficient(random);
    for (int c = 0; c < cols; ++c) whole[target][c] = (ci * whole[i][c] + cj * whole[j][c]) / 10;
  }
  Sample s;
  for (const auto& row : whole) {
    s.exact.emplace_back();
    for (Int x : row) {
      const std::string text =
          std::to_string(static_cast<long long>(x)) + "e-" + std::to_string(places + 1);
      s.typed.push_back(*parseDecimal(text));
      s.exact.back().push_back(Rational::of(x, scale));
    }
  }
  return s;
}

kernels::Echelon reduced(std::vector<float>& a, int rows, int cols, bool everyColumn = true,
                         bool everyPositionAfresh = false) {
  kernels::Echelon e(a.data(), rows, cols, everyColumn);
  if (everyPositionAfresh) e.lookAtEveryPosition();
  e.sweep();
  for (int c = 0; c < cols; ++c) {
    e.columnStep(c);
    e.sweep();
  }
  return e;
}

TEST(Echelon, RankIsThatOfTheNumbersAsTyped) {
  std::mt19937 random(23);
  int deficient = 0;
  for (int places : {0, 1, 2}) {
    for (int rows = 1; rows <= 6; ++rows) {
      for (int cols = 1; cols <= 6; ++cols) {
        for (int trial = 0; trial < 12; ++trial) {
          Sample s = sample(rows, cols, places, trial % 3, random);
          const size_t truth = exactReduced(s.exact, cols).pivotColumns.size();
          kernels::Echelon e = reduced(s.typed, rows, cols);
          deficient += truth < static_cast<size_t>(std::min(rows, cols));
          EXPECT_EQ(e.pivots(), static_cast<int64_t>(truth))
              << places << " places, " << rows << " x " << cols << ", trial " << trial;
        }
      }
    }
  }
  EXPECT_GT(deficient, 150);
}

TEST(Echelon, SystemsAgreeWithExactReducedForm) {
  std::mt19937 random(24);
  int impossible = 0, unique = 0, infinite = 0;
  for (int places : {0, 1, 2}) {
    for (int rows = 1; rows <= 5; ++rows) {
      for (int unknowns = 1; unknowns <= 5; ++unknowns) {
        for (int trial = 0; trial < 12; ++trial) {
          Sample s = sample(rows, unknowns + 1, places, trial % 3, random);
          const std::string what = std::to_string(places) + " places, " + std::to_string(rows) +
                                   " x " + std::to_string(unknowns) + ", trial " +
                                   std::to_string(trial);
          const ExactReduced truth = exactReduced(s.exact, unknowns + 1);
          const ExactReduced truthA = exactReduced(s.exact, unknowns);
          kernels::Echelon e = reduced(s.typed, rows, unknowns + 1);
          ASSERT_EQ(e.pivots(), static_cast<int64_t>(truth.pivotColumns.size())) << what;
          ASSERT_EQ(e.pivotsBefore(unknowns), static_cast<int64_t>(truthA.pivotColumns.size()))
              << what;
          if (e.pivots() != e.pivotsBefore(unknowns)) {
            ++impossible;
            continue;
          }
          const kernels::ReducedSystem r = kernels::reduceSystem(e, unknowns);
          (r.freeColumns.empty() ? unique : infinite)++;
          ASSERT_EQ(r.pivotColumns.size(), truth.pivotColumns.size()) << what;
          for (size_t k = 0; k < r.pivotColumns.size(); ++k) {
            ASSERT_EQ(r.pivotColumns[k], truth.pivotColumns[k]) << what;
            const std::vector<Rational>& row = truth.rows[k];
            const double value = row[unknowns].toDouble();
            EXPECT_NEAR(r.values[k], value, 1e-3 * (1 + std::fabs(value))) << what;
            for (size_t j = 0; j < r.freeColumns.size(); ++j) {
              const Rational& exact = row[r.freeColumns[j]];
              const size_t at = k * r.freeColumns.size() + j;
              EXPECT_EQ(r.coefficientIsZero[at] != 0, exact.isZero()) << what;
              EXPECT_NEAR(r.coefficients[at], exact.toDouble(),
                          1e-3 * (1 + std::fabs(exact.toDouble())))
                  << what;
            }
          }
        }
      }
    }
  }
  EXPECT_GT(impossible, 50);
  EXPECT_GT(unique, 50);
  EXPECT_GT(infinite, 50);
}

bool sameBits(const std::vector<float>& x, const std::vector<float>& y) {
  return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), [](float a, float b) {
           return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
         });
}

// Reductions too large for tableaux leave the entries left of each pivot
// alone, on two cores: the pivots, the entries right of them and the
// solutions are those of the whole reduction, bit for bit. Small fills,
// whose zeros come early, and products of a column by a row among them.
TEST(Echelon, RightOfThePivotsAsTheWholeReduction) {
  std::mt19937 random(25);
  for (int trial = 0; trial < 24; ++trial) {
    const int rows = 40 + static_cast<int>(random() % 200),
              unknowns = 30 + static_cast<int>(random() % 200);
    std::uniform_int_distribution<int> entry(1, trial % 3 == 0 ? 2 : 10);
    std::vector<float> a(static_cast<size_t>(rows * (unknowns + 1)));
    for (float& x : a) x = static_cast<float>(entry(random));
    if (trial % 4 == 1) {
      for (int r = 0; r < rows; ++r) {
        for (int c = 0; c <= unknowns; ++c) a[r * (unknowns + 1) + c] = a[r] * a[c];
      }
    }
    std::vector<float> whole = a, right = a;
    kernels::Echelon w = reduced(whole, rows, unknowns + 1, true);
    kernels::Echelon e = reduced(right, rows, unknowns + 1, false);
    ASSERT_EQ(w.pivots(), e.pivots()) << trial;
    for (int c = 0; c <= unknowns; ++c) {
      ASSERT_EQ(w.pivotRow(c), e.pivotRow(c)) << trial;
      for (int r = 0; r < rows; ++r) {
        if (w.pivotRow(c) >= 0 && r > w.pivotRow(c))
          continue;  // below a pivot: left of the later ones
        bool leftOfPivot = false;
        for (int k = c + 1; k <= unknowns; ++k)
          leftOfPivot |= w.pivotRow(k) >= 0 && w.pivotRow(k) < r;
        if (leftOfPivot) continue;
        ASSERT_EQ(std::bit_cast<uint32_t>(whole[r * (unknowns + 1) + c]),
                  std::bit_cast<uint32_t>(right[r * (unknowns + 1) + c]))
            << trial << ", " << r << ", " << c;
      }
    }
    if (w.pivots() != w.pivotsBefore(unknowns)) continue;
    const kernels::ReducedSystem x = kernels::reduceSystem(w, unknowns),
                                 y = kernels::reduceSystem(e, unknowns);
    EXPECT_TRUE(sameBits(x.values, y.values)) << trial;
    EXPECT_TRUE(sameBits(x.coefficients, y.coefficients)) << trial;
    EXPECT_EQ(x.coefficientIsZero, y.coefficientIsZero) << trial;
  }
}

// A square system whose determinant is not zero, by the determinant's fast
// reduction: the values of the echelon form's, bit for bit, on whole
// numbers of small ranges (exchanges and exact zeros early, residues
// flushed on the last row) and of a large one, and on decimals, below and
// above the side where the fast reduction goes blocked; a singular one is
// left to the echelon form.
// A sweep skips the positions whose column it found zero below them, with
// nothing changed since: columns passed over by the dozen (a column of ones
// beside known terms, a rank-one product, small fills with repeated
// columns) are reduced as when every position is looked at afresh.
TEST(Echelon, PositionsSkippedChangeNothing) {
  std::mt19937 random(31);
  std::uniform_int_distribution<int> small(1, 2), large(1, 100);
  struct Shape {
    const char* what;
    int rows;
    int cols;
  };
  for (const Shape& shape : {Shape{"square", 40, 40}, Shape{"system", 40, 41},
                             Shape{"wide", 20, 60}, Shape{"tall", 60, 20}}) {
    for (const char* kind :
         {"ones beside known terms", "rank one", "ones and twos, columns repeated", "rank three"}) {
      const int rows = shape.rows, cols = shape.cols;
      std::vector<float> a(static_cast<size_t>(rows * cols));
      for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
          float& x = a[r * cols + c];
          const std::string_view k = kind;
          if (k == "ones beside known terms") {
            x = c + 1 == cols ? static_cast<float>(large(random)) : 1.0f;
          } else if (k == "rank one") {
            x = static_cast<float>((r % 7 + 1) * (c % 5 + 2));
          } else if (k == "ones and twos, columns repeated") {
            x = c % 3 == 2 ? a[r * cols + c - 1] : static_cast<float>(small(random));
          } else {
            x = static_cast<float>((r % 3 + 1) * (c % 4) + (r % 5) * (c % 2) + (r % 2) * c);
          }
        }
      }
      std::vector<float> skipping = a, afresh = a;
      const kernels::Echelon e = reduced(skipping, rows, cols);
      const kernels::Echelon plain = reduced(afresh, rows, cols, true, true);
      const std::string what = std::string(shape.what) + ", " + kind;
      EXPECT_EQ(e.pivots(), plain.pivots()) << what;
      EXPECT_TRUE(sameBits(skipping, afresh)) << what;
      for (int c = 0; c < cols; ++c) EXPECT_EQ(e.pivotRow(c), plain.pivotRow(c)) << what;
    }
  }
}

TEST(Echelon, FastReductionSolvesAsTheEchelonForm) {
  std::mt19937 random(26);
  int solved = 0, singular = 0;
  for (int trial = 0; trial < 600; ++trial) {
    const int n = 12 + static_cast<int>(random() % (trial % 2 ? 36 : 140));
    const int top = trial % 4 == 0 ? 2 : trial % 4 == 1 ? 3 : trial % 4 == 2 ? 10 : 100;
    std::uniform_int_distribution<int> entry(1, top);
    std::vector<float> a(static_cast<size_t>(n * n)), b(static_cast<size_t>(n));
    const bool tenths = trial % 3 == 2;
    auto draw = [&] { return static_cast<float>(entry(random)) / (tenths ? 10.0f : 1.0f); };
    for (float& x : a) x = draw();
    for (float& x : b) x = draw();
    if (trial % 7 == 6) {
      // The last equation's coefficients are the sum of the first two's.
      for (int c = 0; c < n; ++c) a[(n - 1) * n + c] = a[c] + a[n + c];
    }
    const std::optional<std::vector<float>> fast =
        kernels::solveByFastReduction(a.data(), 1, b.data(), n);
    std::vector<float> ab;
    for (int r = 0; r < n; ++r) {
      ab.insert(ab.end(), a.begin() + r * n, a.begin() + (r + 1) * n);
      ab.push_back(b[r]);
    }
    kernels::Echelon e = reduced(ab, n, n + 1, trial % 5 == 0);
    const std::string what = "trial " + std::to_string(trial) + ", side " + std::to_string(n);
    if (!fast) {
      ++singular;
      EXPECT_LT(e.pivotsBefore(n), n) << what;
      continue;
    }
    ++solved;
    ASSERT_EQ(e.pivotsBefore(n), n) << what;
    EXPECT_TRUE(sameBits(*fast, kernels::reduceSystem(e, n).values)) << what;
  }
  EXPECT_GT(solved, 400);
  EXPECT_GT(singular, 50);
}

// With an infinity in the matrix the floats alone decide.
TEST(Echelon, MatricesThatAreNotFiniteTakeTheFloatTest) {
  std::vector<float> a = {1, 2, INFINITY, 2, 4, 1};
  kernels::Echelon e = reduced(a, 2, 3);
  EXPECT_FALSE(e.exactValues());
  EXPECT_EQ(e.pivotRow(0), 0);
  EXPECT_EQ(e.pivotRow(1), -1);
  EXPECT_EQ(e.pivotRow(2), 1);
}

}  // namespace
}  // namespace trelvo
