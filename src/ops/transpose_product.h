// Menu choices 3 and 4: the transpose of the working matrix, and its
// row-by-column product with a second matrix. Keeping either result changes
// the working matrix's dimensions.
#pragma once

#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"

namespace trelvo {

/// Writes the cols x rows transpose into the pending member, prints "\n" and
/// the transpose (when rows <= 11) and offers to keep it (rows and cols then
/// exchange).
void transposeMatrix(Dialogue& d, WorkingMatrix& m);

/// Reads the dimensions of a second matrix and refuses, with a message and
/// nothing written, when its rows differ from cols or it has no column.
/// Otherwise has it entered (an entry method other than 1 or 2 leaves it all
/// 0.0), prints both factors (when cols and cols2 are both <= 11), the
/// heading and the rows x cols2 product (when cols2 <= 11) and offers to keep
/// the product. Throws std::bad_alloc, leaving the working matrix as it was,
/// when the product's element count is beyond the signed 32-bit range or any
/// of its storage cannot be had: before the entry for the product's own
/// storage, on the keep for the re-sized working matrix.
void matrixProduct(Dialogue& d, WorkingMatrix& m);

}  // namespace trelvo
