#include "kernels/reference.h"

#include <algorithm>
#include <vector>

#include "kernels/exact/exact_zeros.h"
#include "kernels/kernels.h"
#include "kernels/strict_float.h"
#include "kernels/sweep.h"

namespace trelvo::kernels::reference {
namespace {

void exchangeRows(float* a, int64_t n, int64_t r, int64_t s) {
  std::swap_ranges(a + r * n, a + r * n + n, a + s * n);
}

// The minor of a (n x n) without row i and column j, into `minor`.
void buildMinor(const float* a, int64_t n, int64_t i, int64_t j, float* minor) {
  for (int64_t p = 0; p < n; ++p) {
    if (p == i) continue;
    for (int64_t q = 0; q < n; ++q) {
      if (q != j) *minor++ = a[p * n + q];
    }
  }
}

// A shortcut's answer, when one applies to the m x m `minor`.
bool shortcut(const float* minor, int64_t m, float& det) {
  if (m == 1) {
    det = minor[0];
  } else if (hasZeroRowOrColumn(minor, m)) {
    det = 0.0f;
  } else {
    return false;
  }
  return true;
}

}  // namespace

void pivotSweep(float* a, int64_t n, int& sign) {
  struct FloatZeros {
    float* a;
    int64_t n;
    int& sign;
    bool countsAsZero(int64_t r, int64_t c) const { return isZero(a[r * n + c]); }
    void exchange(int64_t r, int64_t p) {
      sign = -sign;
      exchangeRows(a, n, r, p);
    }
    void nothingBelow(int64_t, int64_t) {}
  } policy{a, n, sign};
  sweepAlongDiagonal(policy, 0, 0, n, n, n);
}

void eliminateColumn(float* a, int64_t n, int64_t j) {
  const float* pivotRow = a + j * n;
  for (int64_t i = j + 1; i < n; ++i) {
    float* row = a + i * n;
    if (isZero(row[j])) continue;
    float factor = quotientInOrder(-row[j], pivotRow[j]);
    for (int64_t c = 0; c < n; ++c)
      row[c] = sumInOrder(productInOrder(pivotRow[c], factor), row[c]);
  }
}

void reduceColumns(float* a, int64_t n, int& sign) {
  for (int64_t j = 0; j < n; ++j) {
    eliminateColumn(a, n, j);
    pivotSweep(a, n, sign);
  }
}

void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner, int64_t cols2,
              int64_t fStep) {
  for (int64_t i = 0; i < rows; ++i) {
    for (int64_t j = 0; j < cols2; ++j) {
      float sum = 0.0f;
      for (int64_t l = 0; l < inner; ++l) {
        sum = sumInOrder(productInOrder(f[(i * inner + l) * fStep], s[l * cols2 + j]), sum);
      }
      p[i * cols2 + j] = sum;
    }
  }
}

float minorDeterminant(const float* a, int64_t n, int64_t i, int64_t j, float* minor) {
  const int64_t m = n - 1;
  buildMinor(a, n, i, j, minor);
  float det;
  if (!shortcut(minor, m, det)) det = exact::reducedDeterminant(minor, m);
  return det;
}

void minorDeterminants(const float* a, int64_t n, float* det, uint8_t* reduced) {
  const int64_t m = n - 1;
  std::vector<float> minor(m * m);
  for (int64_t position = 0; position < n * n; ++position) {
    buildMinor(a, n, position / n, position % n, minor.data());
    reduced[position] = !shortcut(minor.data(), m, det[position]);
    if (reduced[position]) det[position] = exact::reducedDeterminant(minor.data(), m);
  }
}

}  // namespace trelvo::kernels::reference
