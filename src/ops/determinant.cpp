#include "ops/determinant.h"

namespace trelvo {

void matrixDeterminant(Dialogue&, WorkingMatrix&) {}

}  // namespace trelvo
