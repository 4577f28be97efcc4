#include "ops/scalar_sum.h"

#include "dialogue/entry_display.h"
#include "dialogue/messages.h"
#include "kernels/strict_float.h"

namespace trelvo {
namespace {

constexpr char kScalarPrompt[] = "\n\nInserire lo scalare da moltiplicare alla matrice: ";
constexpr char kSumHeading[] = "\n\nLa SOMMA e':\n\n";

// The pending result has the working matrix's dimensions.
void showAndOfferPending(Dialogue& d, WorkingMatrix& m) {
  if (isPrintable(m.cols)) printFlat(d.io, m.pending(), m.count, m.cols);
  offerSave(d, m, keepPending);
}

}  // namespace

void scalarProduct(Dialogue& d, WorkingMatrix& m) {
  d.io.print(kScalarPrompt);
  d.scalar = d.io.readDecimal();
  d.io.print("\n");
  MatrixView current = m.current();
  MatrixView pending = m.pending();
  for (int64_t k = 0; k < m.count; ++k)
    pending.set(k, kernels::productInOrder(d.scalar, current[k]));
  showAndOfferPending(d, m);
}

void matrixSum(Dialogue& d, WorkingMatrix& m) {
  auto [rows2, cols2] = askDimensions(d, MatrixRole::kSecond);
  if (rows2 != m.rows || cols2 != m.cols) {
    d.io.print(kNotSummable);
    return;
  }
  Operand operand = createOperand(d, rows2, cols2);
  MatrixView second(operand.elements.data());
  enterElements(d, second, rows2, cols2, Wording::kPlain);
  if (isPrintable(cols2)) printFlat(d.io, second, operand.elements.size(), cols2);
  d.io.print(kSumHeading);
  MatrixView current = m.current();
  MatrixView pending = m.pending();
  for (int64_t k = 0; k < m.count; ++k) pending.set(k, kernels::sumInOrder(second[k], current[k]));
  showAndOfferPending(d, m);
}

}  // namespace trelvo
