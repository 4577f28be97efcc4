// The rank by row echelon form: a copy of the matrix is reduced with the
// determinant's column steps, exchanges and zero test, a column with no
// pivot at or below the pivot row being passed over; the rank is the
// number of pivots.
//
// A square matrix too large for any working but its line breaks takes the
// determinant's reduction, whose working is those same line breaks, unless
// its first step leaves nothing below: when the determinant is not zero
// every column has its pivot, and the rank is the side.
#include "ops/rank.h"

#include <algorithm>

#include "kernels/echelon.h"
#include "kernels/kernels.h"
#include "ops/determinant.h"
#include "ops/working.h"

namespace trelvo {
namespace {

constexpr char kProgress[] = "Calcolo del rango";

bool allZero(const float* a, int64_t count) {
  return std::all_of(a, a + count, [](float x) { return x == 0.0f; });
}

// A square matrix of 12 columns or more without a zero row or column:
// detTS prints the working the rank would print.
bool determinantPrintsTheWorking(const WorkingMatrix& m, const float* copy) {
  return m.rows == m.cols && m.cols > kMaxOpeningCols && !kernels::hasZeroRowOrColumn(copy, m.rows);
}

int64_t rankOf(Dialogue& d, WorkingMatrix& m, float* copy) {
  if (allZero(copy, m.count)) return 0;
  if (!determinantPrintsTheWorking(m, copy)) {
    kernels::Echelon e(copy, m.rows, m.cols, printsTableaux(m.rows, m.cols));
    reduceToEchelon(d, e, kProgress);
    return e.pivots();
  }
  // The first step tells a matrix whose rows below it all vanish (a column
  // times a row, say), which the echelon form finishes at once, from one
  // the determinant's reduction finishes fastest.
  kernels::Echelon e(copy, m.rows, m.cols, false);
  e.sweep();
  e.columnStep(0);
  e.sweep();
  if (e.pivotRow(1) < 0) {
    d.io.print("\n\n\n");
    reduceToEchelon(d, e, kProgress, 1);
    return e.pivots();
  }
  if (detTS(d.io, m.pairs.data(), m.count, m.selector) != 0.0f) return m.rows;
  for (int64_t c = 1; c < m.cols; ++c) {
    e.columnStep(c);
    e.sweep();
  }
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
