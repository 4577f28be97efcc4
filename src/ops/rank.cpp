// The rank by row echelon form: a copy of the matrix is reduced with the
// determinant's column steps, exchanges and zero test, a column with no
// pivot at or below the pivot row being passed over; the rank is the
// number of pivots.
//
// A matrix too wide for any working but its line breaks may skip the rest
// of its reduction after the first step: when the square block of its
// first rows and columns, as many as the smaller side, has a determinant
// that is not zero (as detTS finds it, by its fast reduction), every row or
// every column has its pivot, and the rank is the smaller side. A first
// step that leaves nothing to pivot on below (a column times a row, say)
// goes on by the echelon form, which finishes such a matrix at once.
#include "ops/rank.h"

#include <algorithm>

#include "dialogue/entry_display.h"
#include "kernels/echelon.h"
#include "kernels/exact_reduction.h"
#include "kernels/kernels.h"
#include "ops/working.h"

namespace trelvo {
namespace {

constexpr char kProgress[] = "Calcolo del rango";

bool allZero(const float* a, int64_t count) {
  return std::all_of(a, a + count, [](float x) { return x == 0.0f; });
}

// Whether the determinant of the leading square block of the current
// matrix, its side the smaller of rows and cols, is not zero.
bool leadingBlockInvertible(const Dialogue& d, WorkingMatrix& m) {
  const int64_t k = std::min(m.rows, m.cols);
  Storage<float> block = d.allocate<float>(k * k);
  const MatrixView current = m.current();
  auto fillAndSweep = [&] {
    for (int64_t r = 0; r < k; ++r) {
      for (int64_t c = 0; c < k; ++c) block[r * k + c] = current[r * m.cols + c];
    }
    int sign = 1;
    kernels::pivotSweep(block.data(), k, sign);
  };
  fillAndSweep();
  if (kernels::hasZeroRowOrColumn(block.data(), k)) return false;
  kernels::Reduction reduction(block.data(), k);
  reduction.stepsForDiagonal(fillAndSweep);
  return reduction.diagonalHasNoZero();
}

int64_t rankOf(Dialogue& d, WorkingMatrix& m, float* copy) {
  if (allZero(copy, m.count)) return 0;
  if (isPrintable(m.cols)) {
    kernels::Echelon e(copy, m.rows, m.cols, printsTableaux(m.rows, m.cols));
    reduceToEchelon(d, e, kProgress);
    return e.pivots();
  }
  kernels::Echelon e(copy, m.rows, m.cols, false);
  e.sweep();
  e.columnStep(0);
  e.sweep();
  const bool fullRank = e.pivotRow(1) >= 0 && leadingBlockInvertible(d, m);
  d.io.print("\n\n\n");
  if (fullRank) {
    for (int64_t c = 1; c < m.cols; ++c) d.io.print("\n");
    return std::min(m.rows, m.cols);
  }
  reduceToEchelon(d, e, kProgress, 1);
  return e.pivots();
}

}  // namespace

void matrixRank(Dialogue& d, WorkingMatrix& m) {
  Storage<float> copy = d.allocate<float>(m.count);
  kernels::gather(m.current().values(), m.current().step(), m.count, copy.data());
  const int64_t rank = rankOf(d, m, copy.data());
  d.io.printf("\n\nRango= %lld\n\n", static_cast<long long>(rank));
}

}  // namespace trelvo
