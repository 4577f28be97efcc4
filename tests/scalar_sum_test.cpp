// The scalar product and the sum driven in memory: what they write into the
// pending member, what they leave alone, and their refusals.
#include "ops/scalar_sum.h"

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

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr char kNotSummable[] =
    "\n\nLe due matrici non si possono sommare perche' le loro dimensioni sono diverse.";

TEST(ScalarProduct, WritesRoundedProductsIntoThePendingMemberOnly) {
  const std::vector<float> values = {0.1f, -3.0f, 16777215.0f, 3.0e38f, 1.0e-45f, -0.0f};
  TypedDialogue t("3 0");
  WorkingMatrix m = matrixOf(t.d, 2, 3, values);
  scalarProduct(t.d, m);
  EXPECT_EQ(t.d.scalar, 3.0f);
  EXPECT_EQ(currentOf(m), values);
  const std::vector<float> pending = pendingOf(m);
  // 16777215 * 3 is not a float: it rounds to the nearest multiple of 4.
  EXPECT_EQ(pending[0], 0.3f);
  EXPECT_EQ(pending[1], -9.0f);
  EXPECT_EQ(pending[2], 50331644.0f);
  EXPECT_EQ(pending[3], kInf);
  EXPECT_EQ(pending[4], 4.0e-45f);
  EXPECT_TRUE(pending[5] == 0.0f && std::signbit(pending[5]));
}

TEST(ScalarProduct, TheScalarOutlivesTheCallAndIsReplacedByTheNext) {
  TypedDialogue t("2,5 1 -2 1");
  WorkingMatrix m = matrixOf(t.d, 1, 2, {1, 2});
  scalarProduct(t.d, m);
  EXPECT_EQ(t.d.scalar, 2.5f);
  EXPECT_EQ(currentOf(m), (std::vector<float>{2.5f, 5.0f}));
  scalarProduct(t.d, m);
  EXPECT_EQ(t.d.scalar, -2.0f);
  EXPECT_EQ(currentOf(m), (std::vector<float>{-5.0f, -10.0f}));
}

TEST(MatrixSum, RefusesOtherDimensionsWithoutEntryWriteOrOffer) {
  // Against 2 x 3: swapped, one count off either way, negative, zero.
  for (const char* dimensions : {"3 2", "2 4", "2 2", "1 3", "3 3", "-2 3", "2 0"}) {
    TypedDialogue t(std::string(dimensions) + " 1 1");
    WorkingMatrix m = matrixOf(t.d, 2, 3, {1, 2, 3, 4, 5, 6});
    matrixSum(t.d, m);
    const std::string out = t.out.str();
    ASSERT_GE(out.size(), sizeof kNotSummable - 1) << dimensions;
    EXPECT_EQ(out.substr(out.size() - (sizeof kNotSummable - 1)), kNotSummable) << dimensions;
    EXPECT_EQ(out.find("Inserire"), std::string::npos) << dimensions;
    EXPECT_EQ(t.unread(), " 1 1") << dimensions;
    EXPECT_EQ(currentOf(m), (std::vector<float>{1, 2, 3, 4, 5, 6})) << dimensions;
    EXPECT_EQ(pendingOf(m), std::vector<float>(6, -99.0f)) << dimensions;
  }
}

TEST(MatrixSum, AddsTheOperandToTheCurrentMatrixInSinglePrecision) {
  TypedDialogue t("1 3 2 1 0,1 -1e-8 0 1");
  WorkingMatrix m = matrixOf(t.d, 1, 3, {16777216.0f, 0.2f, 1.0f});
  matrixSum(t.d, m);
  EXPECT_EQ(pendingOf(m), (std::vector<float>{16777216.0f, 0.1f + 0.2f, 1.0f}));
  EXPECT_EQ(currentOf(m), (std::vector<float>{16777216.0f, 0.2f, 1.0f}));
  EXPECT_EQ(t.unread(), " 1");
}

TEST(MatrixSum, AnEntryMethodOtherThanOneOrTwoAddsZeros) {
  for (const char* method : {"3", "0", "-1"}) {
    TypedDialogue t(std::string("2 2 ") + method + " 0");
    WorkingMatrix m = matrixOf(t.d, 2, 2, {1.5f, -2, 3, 4});
    matrixSum(t.d, m);
    EXPECT_EQ(pendingOf(m), (std::vector<float>{1.5f, -2, 3, 4})) << method;
    EXPECT_NE(t.out.str().find("   0.00   0.00\n   0.00   0.00\n\n\nLa SOMMA e':\n\n"),
              std::string::npos)
        << method;
  }
}

TEST(MatrixSum, AnOperandThatCannotBeHeldIsRefusedBeforeEntry) {
  TypedDialogue t("2 3 2 1 2 3 4 5 6 1");
  WorkingMatrix m = matrixOf(t.d, 2, 3, {1, 2, 3, 4, 5, 6});
  t.d.storageLimit = 5;
  EXPECT_THROW(matrixSum(t.d, m), std::bad_alloc);
  EXPECT_EQ(t.unread(), " 2 1 2 3 4 5 6 1");
  EXPECT_EQ(t.out.str().find("Inserire"), std::string::npos);
  EXPECT_EQ(currentOf(m), (std::vector<float>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(pendingOf(m), std::vector<float>(6, -99.0f));
}

}  // namespace
}  // namespace trelvo
