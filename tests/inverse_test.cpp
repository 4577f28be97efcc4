// The inverse by cofactors driven in memory: its exact entries, what it
// leaves in the working matrix, its refusal for want of storage, and
// A times its inverse over many random integer matrices.
#include "ops/inverse.h"

#include <gtest/gtest.h>

#include <new>
#include <random>
#include <string>
#include <vector>

#include "kernels/kernels.h"
#include "ops_fixture.h"
#include "random_matrices.h"

namespace trelvo {
namespace {

using namespace testing;  // the in-memory helpers of ops_fixture.h

TEST(InverseMatrix, EachEntryIsTheRoundedReciprocalTimesTheCofactor) {
  // det 7: 1/7 rounded to float and then multiplied differs, in the last
  // bit, from the cofactor divided by 7.
  TypedDialogue t("0");
  WorkingMatrix m = matrixOf(t.d, 2, 2, {1, -4, 1, 3});
  inverseMatrix(t.d, m);
  const float reciprocal = 1.0f / 7.0f;
  EXPECT_NE(reciprocal * 3.0f, 3.0f / 7.0f);
  EXPECT_EQ(pendingOf(m), (std::vector<float>{reciprocal * 3.0f, reciprocal * 4.0f,
                                              reciprocal * -1.0f, reciprocal * 1.0f}));
}

TEST(InverseMatrix, WritesOnlyThePendingMemberAndKeepsItOnTheAnswerOne) {
  const std::vector<float> a = {4, 7, 2, 6};
  const std::vector<float> inverse = {0.6f, -0.7f, -0.2f, 0.4f};
  for (const char* answer : {"0", "1"}) {
    TypedDialogue t(answer);
    WorkingMatrix m = matrixOf(t.d, 2, 2, a);
    inverseMatrix(t.d, m);
    const bool kept = std::string(answer) == "1";
    EXPECT_EQ(m.selector, kept ? 1 : 0) << answer;
    EXPECT_EQ(kept ? pendingOf(m) : currentOf(m), a) << answer;
    std::vector<float> result = kept ? currentOf(m) : pendingOf(m);
    for (size_t k = 0; k < result.size(); ++k) EXPECT_FLOAT_EQ(result[k], inverse[k]) << answer;
    const std::string out = t.out.str();
    EXPECT_EQ(out.substr(out.size() - sizeof kSaveQuestion), std::string(kSaveQuestion) + "\n");
  }
}

TEST(InverseMatrix, OneByOneGivesTheReciprocalOrIsRefused) {
  TypedDialogue t("0");
  WorkingMatrix m = matrixOf(t.d, 1, 1, {4});
  inverseMatrix(t.d, m);
  EXPECT_EQ(pendingOf(m), std::vector<float>{0.25f});
  EXPECT_EQ(t.out.str(),
            "\n\n\nLa matrice INVERSA E':\n\n   0.25\n" + std::string(kSaveQuestion) + "\n");

  for (float zero : {0.0f, -0.0f}) {
    TypedDialogue z("");
    WorkingMatrix singular = matrixOf(z.d, 1, 1, {zero});
    inverseMatrix(z.d, singular);
    EXPECT_EQ(z.out.str(), "\n\nLa matrice NON E' INVERTIBILE.");
    EXPECT_EQ(pendingOf(singular), std::vector<float>{-99.0f});
  }
}

TEST(InverseMatrix, StorageThatCannotBeHadIsRefusedBeforeAnythingIsPrinted) {
  TypedDialogue t("0");
  WorkingMatrix m = matrixOf(t.d, 3, 3, {2, 0, 1, 1, 3, 2, 1, 1, 2});
  t.d.storageLimit = m.count - 1;
  EXPECT_THROW(inverseMatrix(t.d, m), std::bad_alloc);
  EXPECT_EQ(t.out.str(), "");
  EXPECT_EQ(pendingOf(m), std::vector<float>(9, -99.0f));

  t.d.storageLimit = m.count;
  inverseMatrix(t.d, m);
  EXPECT_NE(t.out.str().find("La matrice INVERSA E'"), std::string::npos);
}

TEST(InverseMatrix, TimesTheMatrixGivesTheIdentityOnRandomMatrices) {
  std::mt19937 random(7);
  for (int n = 1; n <= 6; ++n) {
    for (int trial = 0; trial < 100; ++trial) {
      const std::vector<float> a = randomShuffledDominant(random, n);
      TypedDialogue t("0");
      WorkingMatrix m = matrixOf(t.d, n, n, a);
      inverseMatrix(t.d, m);
      const std::vector<float> inverse = pendingOf(m);
      std::vector<float> product(a.size());
      kernels::multiply(a.data(), inverse.data(), product.data(), n, n, n);
      for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
          EXPECT_NEAR(product[static_cast<size_t>(r * n + c)], r == c ? 1.0 : 0.0, 1e-5)
              << "side " << n << ", trial " << trial << ", at " << r << "," << c;
        }
      }
    }
  }
}

}  // namespace
}  // namespace trelvo
