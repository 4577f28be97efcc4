// The dimension prompts of the second matrix of a sum or a product.
#pragma once

#include <cstdint>

#include "dialogue/dialogue.h"

namespace trelvo {

struct OperandSize {
  int32_t rows2 = 0;
  int32_t cols2 = 0;
};

/// Asks for the rows and the columns of the second matrix and prints "\n\n"
/// after them. Nothing is tested here: each operation tests them its own way.
inline OperandSize readOperandSize(Dialogue& d) {
  OperandSize size;
  d.io.print("\nIndicare la dimensione della 2a matrice: \n  RIGHE   (>1): ");
  size.rows2 = d.io.readInt();
  d.io.print("\n  COLONNE (>1): ");
  size.cols2 = d.io.readInt();
  d.io.print("\n\n");
  return size;
}

}  // namespace trelvo
