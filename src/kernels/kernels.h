// The arithmetic cores of the determinant, the inverse and the product, on
// plain row-major float arrays: the public entry points of the kernels.
//
// Every product and every sum is rounded to float before the next one uses
// it, and the terms of each sum are taken in ascending order, so the result
// is the same bit for bit however the work is laid out. Large sizes run on
// blocked vector code (and a second core where the work is long enough);
// the plain code in kernels/reference.h defines the results, to the last bit, NaN
// signs and zero signs included. The choice of vector code is in
// kernels/dispatch.h, the second core's switch in kernels/parallel.h.
#pragma once

#include <cstdint>
#include <functional>

#include "kernels/strict_float.h"

namespace trelvo::kernels {

/// True when some row or some column of the n x n matrix `a` is all zero
/// (and for n == 0).
bool hasZeroRowOrColumn(const float* a, int64_t n);

/// Pivot sweep over the n x n matrix `a`: for each diagonal position k from
/// 0 to n - 2 whose entry is zero, every row p below k with a non-zero entry
/// in column k is exchanged with row k in turn, each exchange negating `sign`.
void pivotSweep(float* a, int64_t n, int& sign);

/// Elimination of column j: every row i below j with a non-zero a[i][j]
/// gets a[i][c] = a[j][c] * factor + a[i][c] over all n columns, with
/// factor = -a[i][j] / a[j][j]. REQUIRES: a[j][j] is non-zero, or no row
/// below it has a non-zero entry in column j (as a sweep leaves it).
void eliminateColumn(float* a, int64_t n, int64_t j);
/// The same over the columns right of j only, the others left as they were.
void eliminateRightOfPivot(float* a, int64_t n, int64_t j);

/// All n column steps, each an elimination followed by a sweep.
/// REQUIRES: a sweep has run on `a` since its last change.
void reduceColumns(float* a, int64_t n, int& sign);

/// reduceColumns for the determinant: the diagonal and the sign end as
/// reduceColumns leaves them, the other entries in no particular state.
/// When it must start again, it calls `restore`, which puts `a` back as it
/// was at the call. REQUIRES: as reduceColumns.
void reduceDiagonal(float* a, int64_t n, int& sign, const std::function<void()>& restore);

/// p (rows x cols2) = f (rows x inner) times s (inner x cols2). Each
/// element starts at +0.0 and adds its terms f(i, l) * s[l][j] for l
/// ascending, rounding the product and the sum to float at every term.
/// f(i, l) lies at f[(i * inner + l) * fStep]: with fStep 2 the first
/// factor is read in place from one member of a run of pairs.
void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner, int64_t cols2,
              int64_t fStep = 1);

/// to[k] = from[k * step] for k < count (step 2 reads one member of a run of
/// pairs), on two cores when long: the first writes of fresh memory cost
/// the system far more than the copy itself.
void gather(const float* from, int64_t step, int64_t count, float* to);

/// The product of the diagonal of the n x n matrix `a`, taken from 1.0 in
/// diagonal order.
float diagonalProduct(const float* a, int64_t n);

/// How far long work has come: `done` of `total` units, `done` growing.
/// Called on the calling thread only, a few times a batch of work at most.
using ProgressHook = std::function<void(int64_t done, int64_t total)>;

/// For every position (i, j) of the n x n matrix `a`, row-major into
/// det[i * n + j]: the determinant of the minor without row i and column j
/// as the determinant routine computes it (a single element is its own
/// determinant; a zero row or column gives +0.0; otherwise a sweep and the
/// column steps, then the sign times the diagonal product, taken from 1.0
/// in diagonal order). reduced[i * n + j] is 1 when the minor went through
/// the reduction (so its working would be printed), 0 after a shortcut.
/// `progress`, when given, is told of the positions done as their batches
/// end. REQUIRES: n >= 2.
void minorDeterminants(const float* a, int64_t n, float* det, uint8_t* reduced,
                       const ProgressHook& progress = nullptr);

/// The blocked vector code at every size (the functions above use it for
/// large sizes only, where it pays).
namespace blocked {
void reduceColumns(float* a, int64_t n, int& sign);
void reduceDiagonal(float* a, int64_t n, int& sign, const std::function<void()>& restore);
void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner, int64_t cols2,
              int64_t fStep = 1);
void minorDeterminants(const float* a, int64_t n, float* det, uint8_t* reduced,
                       const ProgressHook& progress = nullptr);
}  // namespace blocked

}  // namespace trelvo::kernels
