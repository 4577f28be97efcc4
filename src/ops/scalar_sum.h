#pragma once

#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"

namespace trelvo {

void scalarProduct(Dialogue& d, WorkingMatrix& m);
void matrixSum(Dialogue& d, WorkingMatrix& m);

}  // namespace trelvo
