#include "ops/transpose_product.h"

#include <new>

#include "dialogue/entry_display.h"
#include "dialogue/messages.h"
#include "kernels/kernels.h"

namespace trelvo {
namespace {

constexpr char kFactorSeparator[] = "\n\n   PER\n\n\n";
constexpr char kProductHeading[] = "\n\nLa MATRICE PRODOTTO e':\n\n";

// The storage of one product, taken in full before anything is entered.
// The first factor is the current matrix, read where it lies.
struct ProductStorage {
  Operand second;
  Storage<float> product;
};

ProductStorage allocateProduct(const Dialogue& d, const WorkingMatrix& m, int32_t cols2) {
  // A product that could not become the working matrix is refused at once.
  if (int64_t{m.rows} * cols2 > INT32_MAX) throw std::bad_alloc();
  ProductStorage s;
  s.second = createOperand(d, m.cols, cols2);
  s.product = d.allocate<float>(int64_t{m.rows} * cols2);
  return s;
}

void printFactors(Console& io, WorkingMatrix& m, const ProductStorage& s, int32_t cols2) {
  printFlat(io, m.current(), m.count, m.cols);
  io.print(kFactorSeparator);
  printRows(io, s.second.elements.data(), m.cols, cols2);
}

}  // namespace

void transposeMatrix(Dialogue& d, WorkingMatrix& m) {
  MatrixView current = m.current();
  MatrixView pending = m.pending();
  for (int64_t i = 0; i < m.rows; ++i) {
    for (int64_t j = 0; j < m.cols; ++j) pending.set(j * m.rows + i, current[i * m.cols + j]);
  }
  d.io.print("\n");
  if (isPrintable(m.rows)) printFlat(d.io, pending, m.count, m.rows);
  offerSave(d, m, keepTransposed);
}

void matrixProduct(Dialogue& d, WorkingMatrix& m) {
  auto [rows2, cols2] = askDimensions(d, MatrixRole::kSecond);
  if (rows2 != m.cols) {
    d.io.print(kNotMultipliable);
    return;
  }
  if (cols2 < 1) {
    d.io.print(kNoColumns);
    return;
  }
  ProductStorage s = allocateProduct(d, m, cols2);
  enterElements(d, MatrixView(s.second.elements.data()), rows2, cols2, Wording::kSecondMatrix);
  if (isPrintable(m.cols) && isPrintable(cols2)) printFactors(d.io, m, s, cols2);
  d.io.print("\n\n");
  const MatrixView first = m.current();
  kernels::multiply(first.values(), s.second.elements.data(), s.product.data(), m.rows, m.cols,
                    cols2, first.step());
  d.io.print(kProductHeading);
  if (isPrintable(cols2)) printRows(d.io, s.product.data(), m.rows, cols2);
  offerSave(d, m, [&, productCols = cols2](WorkingMatrix& kept) {
    keepProduct(d, kept, productCols, s.product.data());
  });
}

}  // namespace trelvo
