// The plain code: one term at a time, each product and sum rounded to float
// in the order kernels/kernels.h describes. It defines every result of the
// kernels, to the last bit; the vector code is tested against it.
#pragma once

#include <cstdint>

namespace trelvo::kernels::reference {

void pivotSweep(float* a, int64_t n, int& sign);
void eliminateColumn(float* a, int64_t n, int64_t j);
void reduceColumns(float* a, int64_t n, int& sign);
void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner, int64_t cols2,
              int64_t fStep = 1);
void minorDeterminants(const float* a, int64_t n, float* det, uint8_t* reduced);
/// One of those: the determinant of the minor of `a` without row i and
/// column j, after the shortcuts. `minor` holds (n - 1)^2 floats.
float minorDeterminant(const float* a, int64_t n, int64_t i, int64_t j, float* minor);

}  // namespace trelvo::kernels::reference
