// reduction/: the determinant's reduction and what is built on it.
// reduction.* and panels.* take the column steps blocked; first_step.*
// works out the first step and its sweep from the entries; exact_reduction.*
// keeps the zero test on exact values on every path; echelon.* gives the
// row echelon form, for the rank and the linear systems.
//
// The blocked reduction: the column steps of kernels::reduceColumns and
// kernels::reduceDiagonal on vector code, with results bit for bit those of
// reference::reduceColumns.
//
// Row i's entry in column c takes, at each column step j whose entry a[i][j]
// is non-zero, the term a[j][c] * factor. Taken over a panel of steps, those
// terms are a product block (pivot rows times factors, steps ascending), so
// they can wait and be added together at the end of the panel, while the
// panel's own columns, the pivot rows and the diagonal are kept up to date
// step by step. The sweep does nothing as long as every diagonal entry is
// non-zero; when one is zero, the waiting terms are added first and the
// plain sweep runs on the whole matrix, and a new panel starts.
//
// Two modes share that machinery, each its own code path:
//
// Every column (everyColumn): every step updates every column; the matrix
// ends as the plain code leaves it.
//
// Right of the pivot (rightOfPivot), for the diagonal alone: as long as the
// sweep does nothing, the columns left of a step's pivot are never read
// again (only an exchange's sweep reads them), so the steps after the first
// few update only the columns right of their pivot. A sweep after step j
// that meets zeros only at k > j reads column k of rows below k, all right
// of the pivot and up to date; it exchanges whole rows, but their stale
// left parts are never read either. So when a zero turns up on the diagonal
// inside a panel, the panel's columns go back to what they were at its
// start and the panel is replayed step by step with its sweeps, still right
// of the pivot only. Only a zero at k <= j (a zero pivot with nothing below
// it at its own step) would make a sweep read stale columns: there the
// reduction stops and reports the step, and the caller starts again with
// every column up to that step.
#pragma once

#include <cstdint>

#include "kernels/dispatch.h"

namespace trelvo::kernels::reduction {

/// What rightOfPivot returns when it went through.
constexpr int64_t kFinished = INT64_MAX;

/// All n column steps of the n x n matrix `a`, every column, with their
/// sweeps. REQUIRES: a sweep has run on `a` since its last change.
void everyColumn(const isa::Isa& x, float* a, int64_t n, int& sign);

/// The first `exactSteps` steps as everyColumn takes them, the others right
/// of the pivot only: the diagonal and the sign end as everyColumn leaves
/// them. Returns kFinished, or the step after which a sweep would have read
/// stale columns (then `a` and `sign` are in no useful state).
/// REQUIRES: as everyColumn.
int64_t rightOfPivot(const isa::Isa& x, float* a, int64_t n, int& sign, int64_t exactSteps);

/// The steps from `first` to `limit` - 1 right of the pivot only, without
/// sweeps, up to the first step after which a sweep would find a zero on
/// the diagonal: the entries from the column of the last step on end as the
/// plain steps leave them (those left of it in no particular state).
/// Returns the steps taken in all (`first` and those). REQUIRES: no
/// diagonal entry but the last is zero.
int64_t rightOfPivotWithoutSweeps(const isa::Isa& x, float* a, int64_t n, int64_t first,
                                  int64_t limit);

}  // namespace trelvo::kernels::reduction
