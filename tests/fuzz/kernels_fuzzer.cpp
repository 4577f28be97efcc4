// libFuzzer target: the vector kernels against the plain code, bit for bit.
//
// The dialogue fuzzer keeps matrices small, so it never reaches the blocked
// code that large sizes run on. Here the blocked product and reduction run
// at every size, and the batched minors' determinants at every side, on
// matrices made of values that exercise the rules (signed zeros, NaNs of
// both signs, infinities, subnormals) or of small whole numbers, singular
// or nearly, whose exact zeros the reduction's exact test decides; any
// difference from the plain code, to the last bit, stops the fuzzer. The
// determinant's own reduction runs too, at sides where it is blocked.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/exact/exact_zeros.h"
#include "kernels/kernels.h"
#include "kernels/reduction/exact_reduction.h"
#include "kernels/reference.h"

namespace {

namespace k = trelvo::kernels;

// The values a byte can stand for; the last entry means "the next four
// bytes, as they are".
const float kValues[] = {0.0f,
                         -0.0f,
                         1.0f,
                         -1.0f,
                         2.0f,
                         0.5f,
                         3.0f,
                         -7.0f,
                         0.1f,
                         1e30f,
                         -1e30f,
                         1e-45f,
                         std::numeric_limits<float>::max(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN(),
                         -std::numeric_limits<float>::quiet_NaN()};
constexpr size_t kRawValue = sizeof kValues / sizeof kValues[0];

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
  int64_t inRange(int64_t low, int64_t high) { return low + next() % (high - low + 1); }
  float value() {
    size_t pick = next() % (kRawValue + 1);
    if (pick < kRawValue) return kValues[pick];
    uint32_t bits = 0;
    for (int b = 0; b < 4; ++b) bits = bits << 8 | next();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  std::vector<float> values(int64_t count) {
    std::vector<float> v(static_cast<size_t>(count));
    for (float& x : v) x = value();
    return v;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

template <class T>
void expectSameBits(const std::vector<T>& expected, const std::vector<T>& actual,
                    const char* what) {
  if (std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(T)) != 0) {
    std::fprintf(stderr, "%s differs from the plain code\n", what);
    std::abort();
  }
}

// Whole numbers from -1 to 3, and maybe a row the sum of two others.
std::vector<float> wholeNumbers(Bytes& in, int64_t n) {
  std::vector<float> v(static_cast<size_t>(n * n));
  for (float& x : v) x = static_cast<float>(in.next() % 5) - 1.0f;
  if (n >= 3 && in.next() % 2) {
    const int64_t r = in.inRange(0, n - 1), x = in.inRange(0, n - 1), y = in.inRange(0, n - 1);
    for (int64_t c = 0; c < n; ++c) v[r * n + c] = v[x * n + c] + v[y * n + c];
  }
  return v;
}

std::vector<float> matrix(Bytes& in, int64_t n) {
  return in.next() % 2 ? wholeNumbers(in, n) : in.values(n * n);
}

void checkProduct(Bytes& in) {
  const int64_t rows = in.inRange(1, 40), inner = in.inRange(1, 40), cols2 = in.inRange(1, 40);
  const std::vector<float> f = in.values(rows * inner), s = in.values(inner * cols2);
  std::vector<float> expected(static_cast<size_t>(rows * cols2));
  std::vector<float> actual(expected.size());
  k::reference::multiply(f.data(), s.data(), expected.data(), rows, inner, cols2);
  k::blocked::multiply(f.data(), s.data(), actual.data(), rows, inner, cols2);
  expectSameBits(expected, actual, "blocked product");
  k::multiply(f.data(), s.data(), actual.data(), rows, inner, cols2);
  expectSameBits(expected, actual, "product");
}

void checkReduction(Bytes& in) {
  const int64_t n = in.inRange(1, 40);
  std::vector<float> expected = in.values(n * n);
  int expectedSign = 1;
  k::reference::pivotSweep(expected.data(), n, expectedSign);
  std::vector<float> actual = expected;
  int actualSign = expectedSign;
  k::reference::reduceColumns(expected.data(), n, expectedSign);
  k::blocked::reduceColumns(actual.data(), n, actualSign);
  expectSameBits(expected, actual, "blocked reduction");
  if (expectedSign != actualSign) {
    std::fprintf(stderr, "blocked reduction: sign %d, plain code %d\n", actualSign, expectedSign);
    std::abort();
  }
}

void checkMinors(Bytes& in) {
  const int64_t n = in.inRange(2, 14);
  const std::vector<float> a = matrix(in, n);
  std::vector<float> expected(static_cast<size_t>(n * n)), actual(expected.size());
  std::vector<uint8_t> expectedReduced(expected.size()), actualReduced(expected.size());
  k::reference::minorDeterminants(a.data(), n, expected.data(), expectedReduced.data());
  k::minorDeterminants(a.data(), n, actual.data(), actualReduced.data());
  expectSameBits(expected, actual, "minors' determinants");
  expectSameBits(expectedReduced, actualReduced, "minors' reduced flags");
}

void expectSameFloat(float expected, float actual, const char* what) {
  expectSameBits(std::vector<float>{expected}, std::vector<float>{actual}, what);
}

// The determinant's reduction with the exact zero test against its plain
// steps: the diagonal, the sign and the determinant.
void checkDeterminantSteps(Bytes& in) {
  const int64_t n = in.inRange(2, 90);
  std::vector<float> expected = matrix(in, n);
  std::vector<float> actual = expected;
  int sign = 1;
  k::ExactResidues none;
  k::exact::pivotSweep(expected.data(), n, sign, none);
  k::ExactResidues exact(expected.data(), n);
  k::exact::reduceColumns(expected.data(), n, sign, exact);
  k::Reduction r(actual.data(), n);
  r.sweep();
  const std::vector<float> swept = actual;
  r.stepsForDiagonal([&] { actual = swept; });
  std::vector<float> expectedDiagonal, actualDiagonal;
  for (int64_t d = 0; d < n; ++d) {
    expectedDiagonal.push_back(expected[d * n + d]);
    actualDiagonal.push_back(actual[d * n + d]);
  }
  expectSameBits(expectedDiagonal, actualDiagonal, "determinant's diagonal");
  if (sign != r.sign()) {
    std::fprintf(stderr, "determinant's reduction: sign %d, plain code %d\n", r.sign(), sign);
    std::abort();
  }
  const float det = k::productInOrder(static_cast<float>(sign),
                                      k::exact::diagonalProduct(expected.data(), n, exact));
  expectSameFloat(det, r.determinant(), "determinant");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in(data, size);
  static const std::vector<std::string_view> variants = k::availableVariants();
  k::selectVariant(variants[in.next() % variants.size()]);
  switch (in.next() % 4) {
    case 0:
      checkProduct(in);
      break;
    case 1:
      checkReduction(in);
      break;
    case 2:
      checkDeterminantSteps(in);
      break;
    default:
      checkMinors(in);
      break;
  }
  return 0;
}
