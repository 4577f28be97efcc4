// The arithmetic cores of the determinant and of the product, on plain
// row-major float arrays.
//
// Every product and every sum is rounded to float before the next one uses
// it, and the terms of each sum are taken in ascending order, so the result
// is the same bit for bit however the work is laid out.
#pragma once

#include <cstdint>

namespace trelvo::kernels {

/// The zero test of the reduction: +0.0 and -0.0 are zero, NaN is not.
inline bool isZero(float x) { return x == 0.0f; }

/// Pivot sweep over the n x n matrix `a`: for each diagonal position k from
/// 0 to n - 2 whose entry is zero, every row p below k with a non-zero entry
/// in column k is exchanged with row k in turn, each exchange negating `sign`.
void pivotSweep(float* a, int64_t n, int& sign);

/// Elimination of column j: every row i below j with a non-zero a[i][j]
/// gets a[i][c] = a[j][c] * factor + a[i][c] over all n columns, with
/// factor = -a[i][j] / a[j][j]. REQUIRES: a[j][j] is non-zero, or no row
/// below it has a non-zero entry in column j (as a sweep leaves it).
void eliminateColumn(float* a, int64_t n, int64_t j);

/// All n column steps, each an elimination followed by a sweep.
/// REQUIRES: a sweep has run on `a` since its last change.
void reduceColumns(float* a, int64_t n, int& sign);

/// p (rows x cols2) = f (rows x inner) times s (inner x cols2). Each
/// element starts at +0.0 and adds its terms f[i][l] * s[l][j] for l
/// ascending, rounding the product and the sum to float at every term.
void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner, int64_t cols2);

}  // namespace trelvo::kernels
