// Menu choice 6: the inverse of the working matrix by cofactors.
#pragma once

#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"

namespace trelvo {

/// Menu choice 6. Prints the working of the whole matrix's determinant and
/// then, for each position in row-major order, a "\n" and the working of its
/// minor's determinant; writes the transposed cofactors times the reciprocal
/// of the determinant into the pending member, prints them (side up to 11)
/// and offers to keep them. A 1 x 1 matrix [a] gives [1/a]. A matrix that is
/// not square, or whose determinant is zero, is refused with a message and
/// nothing is written. Throws std::bad_alloc, before printing anything, when
/// the storage it needs cannot be had.
void inverseMatrix(Dialogue& d, WorkingMatrix& m);

}  // namespace trelvo
