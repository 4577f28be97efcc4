// The transpose and the row-by-column product driven in memory: the values
// they produce and keep, the column limit of the product's prints, and the
// refusals that must leave the working matrix exactly as it was.
#include "ops/transpose_product.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "ops_fixture.h"

namespace trelvo {
namespace {

using namespace testing;  // the in-memory helpers of ops_fixture.h

constexpr char kNotMultipliable[] =
    "\n\nLe due matrici non sono moltiplicabili perche' le colonne della 1a sono diverse dalle "
    "righe della 2a.";
constexpr char kNoColumns[] = "\n\nLa 2a matrice deve avere almeno una colonna.";
constexpr char kProductHeading[] = "\n\nLa MATRICE PRODOTTO e':\n\n";
constexpr char kSaveQuestionStart[] = "\n\nVuoi salvare";

std::vector<float> counting(int32_t count) {
  std::vector<float> values;
  for (int32_t k = 0; k < count; ++k) values.push_back(static_cast<float>(k + 1));
  return values;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(TransposeMatrix, PendingHoldsTheTransposeAndTwoKeepsGiveTheMatrixBack) {
  for (int32_t rows = 1; rows <= 4; ++rows) {
    for (int32_t cols = 1; cols <= 5; ++cols) {
      TypedDialogue t("1 1");
      const std::vector<float> values = counting(rows * cols);
      WorkingMatrix m = matrixOf(t.d, rows, cols, values);
      transposeMatrix(t.d, m);
      ASSERT_EQ(m.rows, cols);
      ASSERT_EQ(m.cols, rows);
      for (int32_t i = 0; i < rows; ++i) {
        for (int32_t j = 0; j < cols; ++j) {
          EXPECT_EQ(m.current()[j * rows + i], values[i * cols + j]) << rows << "x" << cols;
        }
      }
      transposeMatrix(t.d, m);
      EXPECT_EQ(m.rows, rows);
      EXPECT_EQ(m.cols, cols);
      EXPECT_EQ(currentOf(m), values) << rows << "x" << cols;
    }
  }
}

struct ProductCase {
  const char* what;
  int32_t rows, cols;
  std::vector<float> first;
  int32_t cols2;
  const char* second;  // as typed
  std::vector<float> product;
};

TEST(MatrixProduct, KeptProductHasRowsTimesCols2StrictlyRoundedTerms) {
  const float inf = std::numeric_limits<float>::infinity();
  const ProductCase cases[] = {
      {"2x2 by 2x2", 2, 2, {1, 2, 3, 4}, 2, "5 6 7 8", {19, 22, 43, 50}},
      {"2x3 by 3x4",
       2,
       3,
       {1, 2, 3, 4, 5, 6},
       4,
       "1 2 3 4 5 6 7 8 9 10 11 12",
       {38, 44, 50, 56, 83, 98, 113, 128}},
      {"grows 2x1 by 1x5", 2, 1, {3, -2}, 5, "1 2 3 4 5", {3, 6, 9, 12, 15, -2, -4, -6, -8, -10}},
      {"shrinks 2x3 by 3x1", 2, 3, {1, 2, 3, 4, 5, 6}, 1, "1 -1 0,5", {0.5f, 2.0f}},
      // Each sum is rounded after every term, terms in ascending order.
      {"big term first", 1, 3, {16777216, 1, 1}, 1, "1 1 1", {16777216}},
      {"big term last", 1, 3, {1, 1, 16777216}, 1, "1 1 1", {16777218}},
      // Each product is rounded before the sum: 1e40 is beyond the floats.
      {"products overflow", 1, 2, {1e20f, -1e20f}, 1, "1e20 1e20", {std::nanf("")}},
      {"overflow to infinity", 1, 1, {3e38f}, 1, "2", {inf}},
      // Every element starts at +0.0, so -0 x 1 gives +0.
      {"negative zero", 1, 1, {-0.0f}, 1, "1", {0.0f}},
  };
  for (const ProductCase& c : cases) {
    TypedDialogue t(std::to_string(c.cols) + " " + std::to_string(c.cols2) + " 2 " + c.second +
                    " 1");
    WorkingMatrix m = matrixOf(t.d, c.rows, c.cols, c.first);
    matrixProduct(t.d, m);
    EXPECT_EQ(m.rows, c.rows) << c.what;
    EXPECT_EQ(m.cols, c.cols2) << c.what;
    EXPECT_EQ(m.count, c.rows * c.cols2) << c.what;
    const std::vector<float> kept = currentOf(m);
    ASSERT_EQ(kept.size(), c.product.size()) << c.what;
    for (size_t k = 0; k < kept.size(); ++k) {
      if (std::isnan(c.product[k])) {
        EXPECT_TRUE(std::isnan(kept[k])) << c.what;
      } else {
        EXPECT_EQ(kept[k], c.product[k]) << c.what << " element " << k;
        EXPECT_EQ(std::signbit(kept[k]), std::signbit(c.product[k])) << c.what;
      }
    }
  }
}

TEST(MatrixProduct, DeclinedProductLeavesTheWorkingMatrixUntouched) {
  TypedDialogue t("2 5 2 1 2 3 4 5 6 7 8 9 10 0");
  WorkingMatrix m = matrixOf(t.d, 2, 2, {1, 2, 3, 4});
  matrixProduct(t.d, m);
  EXPECT_EQ(m.cols, 2);
  EXPECT_EQ(m.count, 4);
  EXPECT_EQ(m.selector, 0);
  EXPECT_EQ(currentOf(m), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(pendingOf(m), std::vector<float>(4, -99.0f));
  EXPECT_TRUE(t.unread().empty());
}

TEST(MatrixProduct, AnEntryMethodOtherThanOneOrTwoMultipliesByZeros) {
  TypedDialogue t("2 3 7 1");
  WorkingMatrix m = matrixOf(t.d, 2, 2, {1, 2, 3, 4});
  matrixProduct(t.d, m);
  EXPECT_EQ(m.cols, 3);
  EXPECT_EQ(currentOf(m), std::vector<float>(6, 0.0f));
}

TEST(MatrixProduct, FactorsShownOnlyWhenBothFitAndProductWhenItFits) {
  struct Case {
    int32_t cols, cols2;
  };
  for (Case c : {Case{11, 11}, Case{12, 2}, Case{2, 12}, Case{11, 12}, Case{12, 11}, Case{1, 1}}) {
    // A 1 x cols matrix of zeros by a zero operand (entry method 3).
    TypedDialogue t(std::to_string(c.cols) + " " + std::to_string(c.cols2) + " 3 0");
    WorkingMatrix m = matrixOf(t.d, 1, c.cols, std::vector<float>(12, 0.0f));
    matrixProduct(t.d, m);
    const std::string out = t.out.str();
    const bool factorsShown = c.cols <= 11 && c.cols2 <= 11;
    EXPECT_EQ(out.find("   PER") != std::string::npos, factorsShown) << c.cols << " " << c.cols2;
    std::string cells;
    for (int32_t j = 0; j < c.cols2; ++j) cells += "   0.00";
    const std::string productShown = kProductHeading + cells + "\n" + kSaveQuestionStart;
    const std::string productHidden = std::string(kProductHeading) + kSaveQuestionStart;
    const std::string& expected = c.cols2 <= 11 ? productShown : productHidden;
    EXPECT_NE(out.find(expected), std::string::npos) << c.cols << " " << c.cols2;
    // The entry question ends in "\n"; "\n\n" always comes before the heading.
    const std::string beforeHeading = factorsShown ? "\n\n\n\n" : "   --> \n\n\n\n\n";
    EXPECT_NE(out.find(beforeHeading + "La MATRICE"), std::string::npos)
        << c.cols << " " << c.cols2;
  }
}

struct RefusalCase {
  const char* typed;
  const char* message;
};

TEST(MatrixProduct, RefusalsAskNothingMoreAndWriteNothing) {
  // Against a 2 x 3 working matrix.
  const RefusalCase cases[] = {
      {"2 3", kNotMultipliable},  {"4 3", kNotMultipliable}, {"2 4", kNotMultipliable},
      {"-3 2", kNotMultipliable}, {"2 0", kNotMultipliable}, {"3 0", kNoColumns},
      {"3 -5", kNoColumns},
  };
  for (const RefusalCase& c : cases) {
    TypedDialogue t(std::string(c.typed) + " 1 1");
    WorkingMatrix m = matrixOf(t.d, 2, 3, counting(6));
    matrixProduct(t.d, m);
    EXPECT_TRUE(endsWith(t.out.str(), std::string("\n\n") + c.message)) << c.typed;
    EXPECT_EQ(t.unread(), " 1 1") << c.typed;
    EXPECT_EQ(m.cols, 3) << c.typed;
    EXPECT_EQ(currentOf(m), counting(6)) << c.typed;
    EXPECT_EQ(pendingOf(m), std::vector<float>(6, -99.0f)) << c.typed;
  }
}

TEST(MatrixProduct, StorageThatCannotBeHadIsRefusedBeforeEntry) {
  struct Case {
    const char* typed;
    int64_t storageLimit;
    int32_t rows, cols;  // of the working matrix
  };
  const Case cases[] = {
      {"3 1073741824", INT64_MAX, 2, 3},  // product 2 x 2^30: one past the signed 32-bit range
      {"3 2147483647", INT64_MAX, 2, 3},  // product and operand far past it
      {"3 4", 11, 2, 3},                  // operand of 12 beyond the limit
      {"1 2", 5, 3, 1},                   // operand of 2 fits, the product of 6 does not
  };
  for (const Case& c : cases) {
    TypedDialogue t(std::string(c.typed) + " 2 1");
    WorkingMatrix m = matrixOf(t.d, c.rows, c.cols, counting(c.rows * c.cols));
    t.d.storageLimit = c.storageLimit;
    EXPECT_THROW(matrixProduct(t.d, m), std::bad_alloc) << c.typed;
    EXPECT_EQ(t.out.str().find("Inserire"), std::string::npos) << c.typed;
    EXPECT_EQ(t.unread(), " 2 1") << c.typed;
    EXPECT_EQ(m.cols, c.cols) << c.typed;
    EXPECT_EQ(currentOf(m), counting(c.rows * c.cols)) << c.typed;
  }
}

}  // namespace
}  // namespace trelvo
