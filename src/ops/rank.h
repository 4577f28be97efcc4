// Menu choice 7: the rank of the working matrix, by its row echelon form.
#pragma once

#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"

namespace trelvo {

/// Prints the working of the reduction of a copy of the current matrix to
/// row echelon form (ops/working.h), then "\n\nRango= %d\n\n": the rank of
/// the numbers as written (with an infinity or a NaN in the matrix, of the
/// floats). A matrix of zeros prints no working. Nothing is kept; the
/// working matrix is unchanged. Throws std::bad_alloc, before anything is
/// printed, when the copy cannot be had.
void matrixRank(Dialogue& d, WorkingMatrix& m);

}  // namespace trelvo
