#include "kernels/kernels.h"

#include "kernels/dispatch.h"
#include "kernels/parallel.h"
#include "kernels/reference.h"

namespace trelvo::kernels {
namespace {

// Below these sizes the plain code is as fast. The determinant's reduction
// stays plain further up: the blocked one's room is fresh memory, whose
// first touch (a fifth of a millisecond on a virtual machine) costs more
// than the plain steps of a side below 128.
constexpr int64_t kBlockedReductionSide = 48;
constexpr int64_t kBlockedDiagonalSide = 128;
constexpr int64_t kBlockedProductWork = int64_t{1} << 15;
constexpr int64_t kBatchedMinorSide = 6;
// A value copied into fresh memory costs about as long as this many
// multiply-adds: the system clears every page it first writes.
constexpr int64_t kFreshCopyWork = 16;

// True when the n entries first[0], first[step], ... are all zero.
bool isZeroLine(const float* first, int64_t n, int64_t step) {
  for (int64_t k = 0; k < n; ++k) {
    if (!isZero(first[k * step])) return false;
  }
  return true;
}

// Column step j on the columns from `from` on.
void eliminateColumnFrom(float* a, int64_t n, int64_t j, int64_t from) {
  activeIsa().columnStep(a, n, j + 1, n, a + j * n, j, from, n);
}

}  // namespace

void gather(const float* from, int64_t step, int64_t count, float* to) {
  const int parts = parallel::partsFor(count * kFreshCopyWork);
  parallel::runParts(parts, [&](int part) {
    auto [begin, end] = parallel::shareOf(count, part, parts, 1024);
    // One member of a run of pairs, the working matrix's layout: with the
    // step known the loop goes a vector at a time.
    if (step == 2) {
      for (int64_t k = begin; k < end; ++k) to[k] = from[2 * k];
    } else {
      for (int64_t k = begin; k < end; ++k) to[k] = from[k * step];
    }
  });
}

float diagonalProduct(const float* a, int64_t n) {
  float product = 1.0f;
  for (int64_t d = 0; d < n; ++d) product = productInOrder(product, a[d * n + d]);
  return product;
}

bool hasZeroRowOrColumn(const float* a, int64_t n) {
  for (int64_t line = 0; line < n; ++line) {
    if (isZeroLine(a + line * n, n, 1) || isZeroLine(a + line, n, n)) return true;
  }
  // With n == 0 there is no line at all, and the answer is still yes.
  return n == 0;
}

void pivotSweep(float* a, int64_t n, int& sign) { reference::pivotSweep(a, n, sign); }

void eliminateColumn(float* a, int64_t n, int64_t j) { eliminateColumnFrom(a, n, j, 0); }

void eliminateRightOfPivot(float* a, int64_t n, int64_t j) { eliminateColumnFrom(a, n, j, j + 1); }

void reduceColumns(float* a, int64_t n, int& sign) {
  if (n >= kBlockedReductionSide) {
    blocked::reduceColumns(a, n, sign);
  } else {
    reference::reduceColumns(a, n, sign);
  }
}

void reduceDiagonal(float* a, int64_t n, int& sign, const std::function<void()>& restore) {
  if (n >= kBlockedDiagonalSide) {
    blocked::reduceDiagonal(a, n, sign, restore);
  } else {
    reference::reduceColumns(a, n, sign);
  }
}

void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner, int64_t cols2,
              int64_t fStep) {
  if (rows * inner * cols2 >= kBlockedProductWork) {
    blocked::multiply(f, s, p, rows, inner, cols2, fStep);
  } else {
    reference::multiply(f, s, p, rows, inner, cols2, fStep);
  }
}

void minorDeterminants(const float* a, int64_t n, float* det, uint8_t* reduced,
                       const ProgressHook& progress) {
  if (n - 1 < kBatchedMinorSide) {
    reference::minorDeterminants(a, n, det, reduced);
  } else {
    blocked::minorDeterminants(a, n, det, reduced, progress);
  }
}

}  // namespace trelvo::kernels
