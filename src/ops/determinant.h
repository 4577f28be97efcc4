// The determinant by triangular reduction, with its working printed, and
// menu choice 5 that shows it.
#pragma once

#include <cstdint>

#include "dialogue/console.h"
#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"
#include "kernels/kernels.h"

namespace trelvo {

/// The side of the square matrix held in `count` elements: the square root
/// of `count` in double precision, truncated toward zero.
/// REQUIRES: count >= 0.
int32_t squareSide(int32_t count);

/// The determinant of the n x n matrix held, row-major, in member `member`
/// of the first n * n of `pairs`, n being squareSide(count). A single
/// element (count 1) is its own determinant; a matrix with an all-zero row
/// or column gives 0.0; neither prints anything. Otherwise the reduction is
/// printed: "\n\n", the matrix after the first pivot sweep (n <= 11), then
/// for each column step "\n" and, for n <= 8, the ruled tableau.
/// The pairs are only read. Throws std::bad_alloc when the working copy of
/// n * n floats cannot be had (before anything is printed).
/// `progress`, when given, is told now and then of the column steps done
/// by a reduction too large for any working but its line breaks.
float detTS(Console& io, const ElementPair* pairs, int32_t count, int member,
            const kernels::ProgressHook& progress = nullptr);

/// detTS with a working copy supplied by the caller, for callers that take
/// many determinants. REQUIRES: `workingCopy` holds at least n * n floats.
float detTS(Console& io, const ElementPair* pairs, int32_t count, int member, float* workingCopy,
            const kernels::ProgressHook& progress = nullptr);

/// Menu choice 5: prints the determinant of the current matrix after its
/// working, or refuses a matrix that is not square. Changes nothing. From
/// side 1000 on it shows its progress at a terminal.
void matrixDeterminant(Dialogue& d, WorkingMatrix& m);

}  // namespace trelvo
