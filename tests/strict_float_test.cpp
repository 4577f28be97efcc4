// The NaN results of the arithmetic, the same on every processor: x86's.
// An operation with a NaN operand gives the first NaN operand, quieted; an
// invalid one (0 * inf, inf - inf, 0 / 0, inf / inf) the negative default
// NaN. ARM chooses otherwise (a positive default NaN; a signalling NaN
// before a quiet one), so these tests matter most under ARM emulation.
#include "kernels/strict_float.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/kernels.h"

namespace trelvo::kernels {
namespace {

constexpr uint32_t kDefaultNaN = 0xFFC00000;
constexpr uint32_t kQuietPlus = 0x7FC00011;        // a positive quiet NaN
constexpr uint32_t kQuietMinus = 0xFFC00022;       // a negative quiet NaN
constexpr uint32_t kSignallingPlus = 0x7F800033;   // quieted: 0x7FC00033
constexpr uint32_t kSignallingMinus = 0xFF800044;  // quieted: 0xFFC00044
constexpr uint32_t kInf = 0x7F800000;
constexpr uint32_t kMinusInf = 0xFF800000;
constexpr uint32_t kZero = 0x00000000;
constexpr uint32_t kMinusZero = 0x80000000;
constexpr uint32_t kOne = 0x3F800000;

float bits(uint32_t b) { return std::bit_cast<float>(b); }

enum class Op { kProduct, kSum, kQuotient };

float apply(Op op, float a, float b) {
  switch (op) {
    case Op::kProduct:
      return productInOrder(a, b);
    case Op::kSum:
      return sumInOrder(a, b);
    case Op::kQuotient:
      return quotientInOrder(a, b);
  }
  return 0.0f;
}

struct Case {
  Op op;
  uint32_t a, b, expected;
};

TEST(NaNRules, EveryOperationGivesX86sNaN) {
  const Case cases[] = {
      // Invalid operations: the negative default NaN.
      {Op::kProduct, kZero, kInf, kDefaultNaN},
      {Op::kProduct, kMinusInf, kMinusZero, kDefaultNaN},
      {Op::kSum, kInf, kMinusInf, kDefaultNaN},
      {Op::kSum, kMinusInf, kInf, kDefaultNaN},
      {Op::kQuotient, kZero, kMinusZero, kDefaultNaN},
      {Op::kQuotient, kMinusInf, kInf, kDefaultNaN},
      // Two NaN operands: the first, quieted, whatever their kinds.
      {Op::kProduct, kQuietPlus, kQuietMinus, kQuietPlus},
      {Op::kProduct, kQuietMinus, kQuietPlus, kQuietMinus},
      {Op::kSum, kQuietPlus, kSignallingMinus, kQuietPlus},
      {Op::kSum, kSignallingMinus, kQuietPlus, 0xFFC00044},
      {Op::kQuotient, kQuietMinus, kSignallingPlus, kQuietMinus},
      {Op::kQuotient, kSignallingPlus, kSignallingMinus, 0x7FC00033},
      // One NaN operand: that one, quieted, also where the other operand
      // would make the operation invalid.
      {Op::kProduct, kOne, kSignallingPlus, 0x7FC00033},
      {Op::kProduct, kQuietMinus, kZero, kQuietMinus},
      {Op::kProduct, kInf, kQuietPlus, kQuietPlus},
      {Op::kSum, kMinusInf, kQuietMinus, kQuietMinus},
      {Op::kSum, kSignallingMinus, kOne, 0xFFC00044},
      {Op::kQuotient, kZero, kQuietMinus, kQuietMinus},
      {Op::kQuotient, kQuietPlus, kZero, kQuietPlus},
      // Numbers stay numbers.
      {Op::kProduct, kMinusZero, kOne, kMinusZero},
      {Op::kSum, kMinusZero, kZero, kZero},
      {Op::kQuotient, kOne, kMinusZero, kMinusInf},
  };
  for (const Case& c : cases) {
    const uint32_t result = std::bit_cast<uint32_t>(apply(c.op, bits(c.a), bits(c.b)));
    EXPECT_EQ(result, c.expected) << "operation " << static_cast<int>(c.op) << std::hex
                                  << " on 0x" << c.a << " and 0x" << c.b;
  }
}

// Every vector variant's update (row[c] = pivot[c] * factor + row[c]) gives
// the plain operations' NaNs for every pair of special values, in the body
// of the vectors and in their padded tail.
TEST(NaNRules, EveryVariantsEliminationGivesThePlainNaNs) {
  const uint32_t specials[] = {kQuietPlus, kQuietMinus, kSignallingPlus, kSignallingMinus,
                               kInf,       kMinusInf,   kZero,           kMinusZero,
                               kOne};
  constexpr int64_t kCount = sizeof specials / sizeof specials[0];
  constexpr int64_t n = kCount * kCount + 3;
  // Row 1's factor is -row1[0] / pivot[0] = -(-f) / 1 = f (not zero: a row
  // with a zero in the pivot's column takes no step).
  const uint32_t factors[] = {kOne, kInf, kMinusInf, kQuietPlus, kQuietMinus};
  for (std::string_view variant : availableVariants()) {
    ASSERT_TRUE(selectVariant(variant));
    for (uint32_t factor : factors) {
      // Rows below the second have a zero in the pivot's column: no step.
      std::vector<float> a(n * n);
      a[0] = 1.0f;
      a[n] = -bits(factor);
      for (int64_t c = 1; c < n; ++c) {
        a[c] = bits(specials[c % kCount]);
        a[n + c] = bits(specials[c / kCount % kCount]);
      }
      std::vector<float> expected = a;
      for (int64_t c = 0; c < n; ++c) {
        expected[n + c] = sumInOrder(productInOrder(a[c], bits(factor)), a[n + c]);
      }
      eliminateColumn(a.data(), n, 0);
      for (int64_t c = 1; c < n; ++c) {
        EXPECT_EQ(std::bit_cast<uint32_t>(a[n + c]), std::bit_cast<uint32_t>(expected[n + c]))
            << variant << std::hex << ", factor 0x" << factor << ", column " << std::dec << c;
      }
    }
  }
  selectVariant(chosenVariant());
}

}  // namespace
}  // namespace trelvo::kernels
