// The rank by row echelon form: a copy of the matrix is reduced with the
// determinant's column steps, exchanges and zero test, a column with no
// pivot at or below the pivot row being passed over; the rank is the
// number of pivots.
//
// A matrix too wide for any working but its line breaks may skip its
// reduction: when the square block of its first rows and columns, as many
// as the smaller side, has a determinant that is not zero (as detTS finds
// it, by its fast reduction), every row or every column has its pivot, and
// the rank is the smaller side. A matrix whose first step would leave
// nothing to pivot on below (a column times a row, say) goes the echelon
// way, which finishes it at once.
#include "ops/rank.h"

#include <algorithm>
#include <string>

#include "dialogue/entry_display.h"
#include "kernels/kernels.h"
#include "kernels/reduction/echelon.h"
#include "kernels/reduction/exact_reduction.h"
#include "ops/working.h"

namespace trelvo {
namespace {

constexpr char kProgress[] = "Calcolo del rango";

bool allZero(const float* a, int64_t count) {
  return std::all_of(a, a + count, [](float x) { return x == 0.0f; });
}

// Whether the determinant of the leading square block of the current
// matrix, its side the smaller of rows and cols, is not zero; `block` holds
// k * k floats.
bool leadingBlockInvertible(WorkingMatrix& m, float* block) {
  const int64_t k = std::min(m.rows, m.cols);
  const MatrixView current = m.current();
  auto fillAndSweep = [&] {
    if (k == m.cols) {
      kernels::gather(current.values(), current.step(), k * k, block);
    } else {
      for (int64_t r = 0; r < k; ++r) {
        kernels::gather(current.values() + r * m.cols * current.step(), current.step(), k,
                        block + r * k);
      }
    }
    int sign = 1;
    kernels::pivotSweep(block, k, sign);
  };
  fillAndSweep();
  if (kernels::hasZeroRowOrColumn(block, k)) return false;
  kernels::Reduction reduction(block, k);
  reduction.stepsForDiagonal(fillAndSweep);
  return reduction.diagonalHasNoZero();
}

void gatherCurrent(WorkingMatrix& m, float* copy) {
  kernels::gather(m.current().values(), m.current().step(), m.count, copy);
}

int64_t echelonRank(Dialogue& d, WorkingMatrix& m, float* copy) {
  kernels::Echelon e(copy, m.rows, m.cols, printsTableaux(m.rows, m.cols));
  reduceToEchelon(d, e, kProgress);
  return e.pivots();
}

// Beyond the print-out's columns the working is line breaks only, whichever
// way the rank is found. A square matrix's copy serves as the block.
int64_t rankOfWide(Dialogue& d, WorkingMatrix& m, float* copy) {
  if (m.rows > 1 && !firstStepLeavesNothingBelow(m)) {
    const int64_t k = std::min(m.rows, m.cols);
    Storage<float> room = d.allocate<float>(m.rows == m.cols ? 0 : k * k);
    if (leadingBlockInvertible(m, m.rows == m.cols ? copy : room.data())) {
      d.io.print("\n\n" + std::string(static_cast<size_t>(m.cols), '\n'));
      return k;
    }
    gatherCurrent(m, copy);
  }
  return echelonRank(d, m, copy);
}

int64_t rankOf(Dialogue& d, WorkingMatrix& m, float* copy) {
  if (allZero(copy, m.count)) return 0;
  if (!isPrintable(m.cols)) return rankOfWide(d, m, copy);
  return echelonRank(d, m, copy);
}

}  // namespace

void matrixRank(Dialogue& d, WorkingMatrix& m) {
  Storage<float> copy = d.allocate<float>(m.count);
  gatherCurrent(m, copy.data());
  const int64_t rank = rankOf(d, m, copy.data());
  d.io.printf("\n\nRango= %lld\n\n", static_cast<long long>(rank));
}

}  // namespace trelvo
