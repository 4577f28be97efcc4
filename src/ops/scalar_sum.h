// Menu choices 1 and 2: the working matrix times a scalar, and the working
// matrix plus a second matrix of its dimensions. Both write the pending
// result, print it (column limit permitting) and offer to keep it.
#pragma once

#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"

namespace trelvo {

/// Reads the scalar (it replaces d.scalar), writes scalar x current element
/// into the pending member, prints the result and offers to keep it.
void scalarProduct(Dialogue& d, WorkingMatrix& m);

/// Reads the dimensions of a second matrix; when they differ from the
/// working matrix's, prints a message and returns with nothing written.
/// Otherwise has the second matrix entered (an entry method other than 1 or
/// 2 leaves it all 0.0), prints it, writes second + current element into the
/// pending member, prints the heading and the sum and offers to keep it.
/// Throws std::bad_alloc, before anything is entered or written, when the
/// second matrix cannot be held.
void matrixSum(Dialogue& d, WorkingMatrix& m);

}  // namespace trelvo
