// The keep operations and the save offer: dimensions, count and values of
// the working matrix after a keep, and a refused keep that loses nothing.
#include "dialogue/working_matrix.h"

#include <gtest/gtest.h>

#include <climits>
#include <new>
#include <vector>

#include "ops_fixture.h"

namespace trelvo {
namespace {

using namespace testing;  // the in-memory helpers of ops_fixture.h

TEST(KeepPending, MakesThePendingValuesCurrentWithTheSameDimensions) {
  TypedDialogue t("");
  WorkingMatrix m = matrixOf(t.d, 2, 3, {1, 2, 3, 4, 5, 6});
  for (int32_t k = 0; k < m.count; ++k) m.pending().set(k, 10.0f * static_cast<float>(k));
  keepPending(m);
  EXPECT_EQ(m.selector, 1);
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.cols, 3);
  EXPECT_EQ(m.count, 6);
  EXPECT_EQ(currentOf(m), (std::vector<float>{0, 10, 20, 30, 40, 50}));
  keepPending(m);
  EXPECT_EQ(m.selector, 0);
  EXPECT_EQ(currentOf(m), (std::vector<float>{1, 2, 3, 4, 5, 6}));
}

TEST(KeepTransposed, ExchangesRowsAndColsAndKeepsTheCount) {
  struct Case {
    int32_t rows, cols;
  };
  for (Case c : {Case{2, 3}, Case{3, 2}, Case{1, 12}, Case{4, 4}}) {
    TypedDialogue t("");
    WorkingMatrix m = createWorkingMatrix(t.d, c.rows, c.cols);
    for (int32_t k = 0; k < m.count; ++k) m.pending().set(k, static_cast<float>(k));
    keepTransposed(m);
    EXPECT_EQ(m.rows, c.cols);
    EXPECT_EQ(m.cols, c.rows);
    EXPECT_EQ(m.count, c.rows * c.cols);
    EXPECT_EQ(m.pairs.size(), m.count);
    for (int32_t k = 0; k < m.count; ++k) EXPECT_EQ(m.current()[k], static_cast<float>(k));
  }
}

struct ProductCase {
  int32_t rows, cols, productCols;
};

TEST(KeepProduct, ResizesToRowsTimesProductColsWithTheProductsValues) {
  // Same size, growing (4 to 10, 2 to 10) and shrinking (6 to 2).
  for (ProductCase c : {ProductCase{2, 3, 4}, ProductCase{2, 2, 5}, ProductCase{2, 1, 5},
                        ProductCase{2, 3, 1}, ProductCase{3, 2, 3}, ProductCase{1, 1, 1}}) {
    TypedDialogue t("");
    WorkingMatrix m = matrixOf(t.d, c.rows, c.cols, std::vector<float>(12, 7.0f));
    std::vector<float> product;
    for (int32_t k = 0; k < c.rows * c.productCols; ++k) product.push_back(0.5f + k);
    const int selectorBefore = m.selector;
    keepProduct(t.d, m, c.productCols, product.data());
    EXPECT_EQ(m.rows, c.rows);
    EXPECT_EQ(m.cols, c.productCols);
    EXPECT_EQ(m.count, c.rows * c.productCols);
    EXPECT_EQ(m.pairs.size(), m.count);
    EXPECT_EQ(m.selector, 1 - selectorBefore);
    EXPECT_EQ(currentOf(m), product);
  }
}

// A keep that cannot be had must leave dimensions, storage and values alone.
void expectRefusedKeepLeavesMatrix(const Dialogue& d, int32_t productCols) {
  WorkingMatrix m = matrixOf(d, 2, 3, {1, 2, 3, 4, 5, 6});
  const ElementPair* pairsBefore = m.pairs.data();
  const std::vector<float> product(6, 0.0f);
  EXPECT_THROW(keepProduct(d, m, productCols, product.data()), std::bad_alloc);
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.cols, 3);
  EXPECT_EQ(m.count, 6);
  EXPECT_EQ(m.selector, 0);
  EXPECT_EQ(m.pairs.data(), pairsBefore);
  EXPECT_EQ(currentOf(m), (std::vector<float>{1, 2, 3, 4, 5, 6}));
}

TEST(KeepProduct, RefusedBeyondTheStorageLimitLeavesTheMatrixIntact) {
  TypedDialogue t("");
  t.d.storageLimit = 7;
  expectRefusedKeepLeavesMatrix(t.d, 4);
}

TEST(KeepProduct, RefusedBeyondTheSigned32BitCountLeavesTheMatrixIntact) {
  TypedDialogue t("");
  t.d.storageLimit = INT64_MAX;
  // 2 x 1073741824 is one past the signed 32-bit range; 2 x INT32_MAX far past.
  expectRefusedKeepLeavesMatrix(t.d, 1073741824);
  expectRefusedKeepLeavesMatrix(t.d, INT32_MAX);
}

TEST(OfferSave, KeepsOnTheAnswerOneOnly) {
  struct Case {
    const char* answer;
    bool kept;
  };
  for (Case c : {Case{"1", true}, Case{"+1", true}, Case{"0", false}, Case{"2", false},
                 Case{"9", false}, Case{"-1", false}}) {
    TypedDialogue t(std::string(c.answer) + " 5");
    WorkingMatrix m = createWorkingMatrix(t.d, 1, 1);
    int keeps = 0;
    offerSave(t.d, m, [&](WorkingMatrix& kept) {
      EXPECT_EQ(&kept, &m);
      ++keeps;
    });
    EXPECT_EQ(keeps, c.kept ? 1 : 0) << c.answer;
    EXPECT_EQ(t.out.str(), std::string(kSaveQuestion) + "\n") << c.answer;
    EXPECT_EQ(t.unread(), " 5") << c.answer;
  }
}

}  // namespace
}  // namespace trelvo
