#pragma once

#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"

namespace trelvo {

void transposeMatrix(Dialogue& d, WorkingMatrix& m);
void matrixProduct(Dialogue& d, WorkingMatrix& m);

}  // namespace trelvo
