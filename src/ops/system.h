// Menu choice 8: a linear system whose coefficients are the working matrix,
// one row per equation and one column per unknown, solved by the row
// echelon form of its augmented matrix (Rouche'-Capelli).
#pragma once

#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"

namespace trelvo {

/// Has the known terms entered (a column of rows values, asked again until
/// the method is 1 or 2), prints the working of the reduction of the
/// augmented matrix, its two ranks and the verdict: impossible; one
/// solution, printed and offered as the new working matrix (unknowns x 1);
/// or infinitely many, each unknown that is not free printed as its value
/// less its multiples of the free ones. Throws std::bad_alloc, before the
/// working is printed, when the augmented matrix cannot be had.
void solveSystem(Dialogue& d, WorkingMatrix& m);

}  // namespace trelvo
