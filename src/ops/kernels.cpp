#include "ops/kernels.h"

#include <algorithm>

namespace trelvo::kernels {
namespace {

void exchangeRows(float* a, int64_t n, int64_t r, int64_t s) {
  std::swap_ranges(a + r * n, a + r * n + n, a + s * n);
}

}  // namespace

void pivotSweep(float* a, int64_t n, int& sign) {
  for (int64_t k = 0; k + 1 < n; ++k) {
    if (!isZero(a[k * n + k])) continue;
    for (int64_t p = k + 1; p < n; ++p) {
      if (isZero(a[p * n + k])) continue;
      sign = -sign;
      exchangeRows(a, n, k, p);
    }
  }
}

void eliminateColumn(float* a, int64_t n, int64_t j) {
  const float* pivotRow = a + j * n;
  for (int64_t i = j + 1; i < n; ++i) {
    float* row = a + i * n;
    if (isZero(row[j])) continue;
    float factor = -row[j] / pivotRow[j];
    for (int64_t c = 0; c < n; ++c) row[c] = pivotRow[c] * factor + row[c];
  }
}

void reduceColumns(float* a, int64_t n, int& sign) {
  for (int64_t j = 0; j < n; ++j) {
    eliminateColumn(a, n, j);
    pivotSweep(a, n, sign);
  }
}

void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner, int64_t cols2) {
  for (int64_t i = 0; i < rows; ++i) {
    for (int64_t j = 0; j < cols2; ++j) {
      float sum = 0.0f;
      for (int64_t l = 0; l < inner; ++l) sum = f[i * inner + l] * s[l * cols2 + j] + sum;
      p[i * cols2 + j] = sum;
    }
  }
}

}  // namespace trelvo::kernels
