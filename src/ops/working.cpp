#include "ops/working.h"

#include <algorithm>
#include <optional>

#include "dialogue/progress.h"
#include "kernels/exact/modular.h"

namespace trelvo {
namespace {

constexpr char kRuleSegment[] = "_________";
// Reductions of this many multiply-adds and more take about a second or
// more: their progress is shown.
constexpr int64_t kWorkShowingProgress = int64_t{1} << 30;

void printRule(Console& io, int64_t cols) {
  for (int64_t k = 0; k < cols; ++k) io.print(kRuleSegment);
  io.print("\n");
}

}  // namespace

void printOpening(Console& io, const float* a, int64_t rows, int64_t cols) {
  for (int64_t r = 0; r < rows; ++r) {
    for (int64_t c = 0; c < cols; ++c) io.printFixed(a[r * cols + c], 10);
    io.print("\n");
  }
}

void printTableau(Console& io, const float* a, int64_t rows, int64_t cols) {
  io.print("\n\n");
  printRule(io, cols);
  for (int64_t r = 0; r < rows; ++r) {
    for (int64_t c = 0; c < cols; ++c) {
      io.printCell(a[r * cols + c]);
      io.print(" |");
    }
    io.print("\n");
    printRule(io, cols);
  }
}

void reduceToEchelon(Dialogue& d, kernels::Echelon& e, const char* progress) {
  const int64_t rows = e.rows(), cols = e.cols();
  const float* a = e.values();
  d.io.print("\n\n");
  e.sweep();
  if (cols <= kMaxOpeningCols) printOpening(d.io, a, rows, cols);
  const bool tableaux = printsTableaux(rows, cols);
  std::optional<ProgressLine> line;
  if (rows * cols * std::min(rows, cols) >= kWorkShowingProgress) line.emplace(d, progress);
  for (int64_t c = 0; c < cols; ++c) {
    d.io.print("\n");
    e.columnStep(c);
    e.sweep();
    if (tableaux) printTableau(d.io, a, rows, cols);
    if (line) line->update(c + 1, cols);
  }
}

bool firstStepLeavesNothingBelow(WorkingMatrix& m) {
  const MatrixView a = m.current();
  auto at = [&](int64_t r, int64_t c) { return a[r * m.cols + c]; };
  int64_t p = m.rows - 1;
  while (p >= 0 && at(p, 0) == 0.0f) --p;
  if (p < 0) return false;
  for (const kernels::modular::Field* field :
       {&kernels::modular::firstField(), &kernels::modular::secondField()}) {
    const int64_t pivot = field->residueOf(at(p, 0)), beside = field->residueOf(at(p, 1));
    for (int64_t i = 0; i < m.rows; ++i) {
      const int64_t left = field->product(field->residueOf(at(i, 1)), pivot);
      if (left != field->product(field->residueOf(at(i, 0)), beside)) return false;
    }
  }
  return true;
}

}  // namespace trelvo
