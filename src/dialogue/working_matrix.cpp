#include "dialogue/working_matrix.h"

#include <utility>

namespace trelvo {
namespace {

constexpr char kSaveQuestion[] =
    "\n\nVuoi salvare la matrice ottenuta? (YES: 1)\n"
    "(Cosi' facendo la matrice originaria verra' cancellata!!!)\n   --> ";

}  // namespace

WorkingMatrix createWorkingMatrix(const Dialogue& d, int32_t rows, int32_t cols) {
  int64_t count = int64_t{rows} * cols;
  if (count > INT32_MAX) throw std::bad_alloc();
  WorkingMatrix m;
  m.pairs = d.allocate<ElementPair>(count);
  m.rows = rows;
  m.cols = cols;
  m.count = static_cast<int32_t>(count);
  return m;
}

void keepPending(WorkingMatrix& m) { m.selector = m.pendingMember(); }

void keepTransposed(WorkingMatrix& m) {
  keepPending(m);
  std::swap(m.rows, m.cols);
}

void keepMatrix(const Dialogue& d, WorkingMatrix& m, int32_t rows, int32_t cols,
                const float* values) {
  WorkingMatrix kept = createWorkingMatrix(d, rows, cols);
  kept.selector = m.pendingMember();
  MatrixView target = kept.current();
  for (int32_t k = 0; k < kept.count; ++k) target.set(k, values[k]);
  m = std::move(kept);
}

void keepProduct(const Dialogue& d, WorkingMatrix& m, int32_t productCols, const float* product) {
  keepMatrix(d, m, m.rows, productCols, product);
}

void offerSave(Dialogue& d, WorkingMatrix& m, const std::function<void(WorkingMatrix&)>& keep) {
  d.io.print(kSaveQuestion);
  int32_t answer = d.io.readInt();
  d.io.print("\n");
  if (answer == 1) keep(m);
}

}  // namespace trelvo
