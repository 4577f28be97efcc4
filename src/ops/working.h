// The working of a reduction, printed as on a blackboard: the matrix after
// the first exchanges, "%10.2f" cells, and the matrix after a column step
// as a ruled tableau of "%7.2f |" cells. The determinant, the rank and the
// linear system print theirs alike.
#pragma once

#include <cstdint>

#include "dialogue/console.h"
#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"
#include "kernels/reduction/echelon.h"

namespace trelvo {

/// The opening print-out is for at most this many columns, the tableaux for
/// at most this many rows and columns.
inline constexpr int64_t kMaxOpeningCols = 11;
inline constexpr int64_t kMaxTableauSide = 8;

/// Whether a reduction of rows x cols prints its tableaux.
inline bool printsTableaux(int64_t rows, int64_t cols) {
  return rows <= kMaxTableauSide && cols <= kMaxTableauSide;
}

/// Each row of the rows x cols `a`: its cells with "%10.2f", then "\n".
void printOpening(Console& io, const float* a, int64_t rows, int64_t cols);

/// "\n\n", a rule of cols segments, then each row of the rows x cols `a` as
/// "%7.2f |" cells and "\n", followed by a rule.
void printTableau(Console& io, const float* a, int64_t rows, int64_t cols);

/// Brings `e` to row echelon form printing its working: "\n\n", the
/// opening print-out after the first sweep (at most 11 columns), then for
/// each column a "\n", the column step and a sweep, and the tableau (at most
/// 8 rows and columns). A long reduction shows "`progress`: N%" at a
/// terminal.
void reduceToEchelon(Dialogue& d, kernels::Echelon& e, const char* progress);

/// Whether the first column step of the current matrix leaves nothing to
/// pivot on below it in column 1: whether every row's first two entries are
/// exactly proportional to the pivot row's, a[i][1] * a[p][0] = a[i][0] *
/// a[p][1], on the residues of both primes (p any row whose first entry is
/// not zero). Such a matrix (a column times a row, say) is rank-deficient,
/// and the echelon form finishes it at once where the determinant's
/// reduction would not. REQUIRES: m.cols >= 2.
bool firstStepLeavesNothingBelow(WorkingMatrix& m);

}  // namespace trelvo
