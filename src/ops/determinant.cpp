// Determinant by triangular reduction, printing its working as it goes.
//
// A copy of the matrix is brought to upper-triangular form by row
// operations. A pivot is replaced only when it counts as zero, its float
// being zero or its exact value (kernels/exact/exact_zeros.h): the pivot sweep
// exchanges a zero-pivot row with every later row whose entry in that
// column counts as non-zero, one after the other (it does not stop at the
// first), and every exchange negates the sign. The sweep runs once before the column
// steps and again at the end of each of them; a column step eliminates the
// non-zero entries below its pivot. The determinant is the sign times the
// product of the diagonal, each partial product rounded to float, an entry
// that counts as zero taken as +0.0.
//
// What is printed: "\n\n"; for sides up to 11 the copy after the first sweep,
// "%10.2f" cells; then for each of the n column steps a "\n" and, for sides
// up to 8, the copy after that step as a ruled tableau of "%7.2f |" cells.
// A single element, or a matrix with an all-zero row or column, is answered
// at once and prints nothing.
#include "ops/determinant.h"

#include <cassert>
#include <cmath>
#include <optional>

#include "dialogue/messages.h"
#include "dialogue/progress.h"
#include "kernels/kernels.h"
#include "kernels/reduction/exact_reduction.h"
#include "ops/working.h"

namespace trelvo {
namespace {

// From this side on a reduction may take a second or more (fills of small
// numbers, whose zeros come early): its progress is shown.
constexpr int32_t kSideShowingProgress = 1000;
constexpr char kProgress[] = "Calcolo del determinante";

void reduceShowingTableaux(Console& io, kernels::Reduction& r, const float* a, int64_t n) {
  for (int64_t j = 0; j < n; ++j) {
    io.print("\n");
    r.columnStep(j);
    r.sweep();
    printTableau(io, a, n, n);
  }
}

// The working copy of the matrix, after the opening sweep.
struct WorkingCopy {
  const ElementPair* pairs;
  int member;
  float* a;
  int64_t n;

  void fill() const { kernels::gather(memberValues(pairs, member), kPairStep, n * n, a); }
  // Before any column step each entry is its own exact value, so the plain
  // sweep is the reduction's.
  void fillAndSweep() const {
    fill();
    int sign = 1;
    kernels::pivotSweep(a, n, sign);
  }
};

// Beyond the tableau side a column step prints only its "\n", so the steps
// can run in one go and their lines follow; only the diagonal is used after.
void reduceQuietly(Console& io, kernels::Reduction& r, const WorkingCopy& w,
                   const kernels::ProgressHook& progress) {
  r.showProgress(progress);
  r.stepsForDiagonal([&w] { w.fillAndSweep(); });
  for (int64_t j = 0; j < w.n; ++j) io.print("\n");
}

void reduceWithWorking(Console& io, kernels::Reduction& r, const WorkingCopy& w,
                       const kernels::ProgressHook& progress) {
  io.print("\n\n");
  r.sweep();
  if (w.n <= kMaxOpeningCols) printOpening(io, w.a, w.n, w.n);
  if (w.n <= kMaxTableauSide) {
    reduceShowingTableaux(io, r, w.a, w.n);
  } else {
    reduceQuietly(io, r, w, progress);
  }
}

}  // namespace

int32_t squareSide(int32_t count) {
  assert(count >= 0);
  return static_cast<int32_t>(std::sqrt(static_cast<double>(count)));
}

float detTS(Console& io, const ElementPair* pairs, int32_t count, int member, float* workingCopy,
            const kernels::ProgressHook& progress) {
  const int64_t n = squareSide(count);
  float* a = workingCopy;
  const WorkingCopy w{pairs, member, a, n};
  w.fill();
  if (count == 1) return a[0];
  if (kernels::hasZeroRowOrColumn(a, n)) return 0.0f;
  kernels::Reduction reduction(a, n);
  reduceWithWorking(io, reduction, w, progress);
  return reduction.determinant();
}

float detTS(Console& io, const ElementPair* pairs, int32_t count, int member,
            const kernels::ProgressHook& progress) {
  const int64_t n = squareSide(count);
  Storage<float> workingCopy(n * n);
  return detTS(io, pairs, count, member, workingCopy.data(), progress);
}

void matrixDeterminant(Dialogue& d, WorkingMatrix& m) {
  if (m.rows != m.cols) {
    d.io.print(kNotSquareForDeterminant);
    return;
  }
  std::optional<ProgressLine> line;
  if (m.rows >= kSideShowingProgress) line.emplace(d, kProgress);
  const float det =
      detTS(d.io, m.pairs.data(), m.count, m.selector, [&](int64_t done, int64_t total) {
        if (line) line->update(done, total);
      });
  line.reset();
  d.io.print("\n\nDeterminante= ");
  d.io.printCell(det);
  d.io.print("\n\n");
}

}  // namespace trelvo
