#pragma once

#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"

namespace trelvo {

void matrixDeterminant(Dialogue& d, WorkingMatrix& m);

}  // namespace trelvo
