// Filling a matrix (at random or typed in) and showing one.
#pragma once

#include <cstdint>

#include "base/storage.h"
#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"

namespace trelvo {

/// Widest matrix that is printed; a wider one is not shown at all.
inline constexpr int32_t kMaxPrintedCols = 11;

inline bool isPrintable(int64_t cols) { return cols <= kMaxPrintedCols; }

/// Rows and columns as typed, not yet tested.
struct Dimensions {
  int32_t rows = 0;
  int32_t cols = 0;
};

/// Which matrix the dimension prompts ask about.
enum class MatrixRole { kWorking, kSecond };

/// Asks for the rows and the columns of a matrix and prints "\n\n" after
/// them. Nothing is tested here: each caller tests them its own way.
Dimensions askDimensions(Dialogue& d, MatrixRole role);

/// Which text the entry-method question shows.
enum class Wording { kPlain, kSecondMatrix, kKnownTerms };

/// Entry methods of the method question.
inline constexpr int32_t kRandomFill = 1;
inline constexpr int32_t kManualEntry = 2;

/// A second matrix entered for one sum or product, zero-filled until entry.
struct Operand {
  int32_t rows2 = 0;
  int32_t cols2 = 0;
  Storage<float> elements;
};

/// A zero-filled operand of rows2 x cols2.
/// Throws std::bad_alloc when it cannot be had or exceeds the storage limit.
Operand createOperand(const Dialogue& d, int32_t rows2, int32_t cols2);

/// Asks how the elements are to be supplied and fills all rows x cols of
/// `target` at random (method 1) or one typed value at a time (method 2).
/// Returns the method as read; for any other method nothing is filled.
int32_t enterElements(Dialogue& d, MatrixView target, int32_t rows, int32_t cols, Wording wording);

/// Prints `count` values with "%7.2f", a line break after every `cols`.
void printFlat(Console& io, MatrixView values, int64_t count, int32_t cols);
/// Prints a row-major matrix as `rows` lines of `cols` cells.
void printRows(Console& io, const float* matrix, int32_t rows, int32_t cols);

}  // namespace trelvo
