#include "ops/transpose_product.h"

namespace trelvo {

void transposeMatrix(Dialogue&, WorkingMatrix&) {}
void matrixProduct(Dialogue&, WorkingMatrix&) {}

}  // namespace trelvo
