// A linear system by the row echelon form of [A | b]: the ranks of A and of
// [A | b] decide whether it has solutions; when it has, the reduced row
// echelon form gives each unknown that has a pivot as its value less its
// multiples of the free unknowns, x_b = c_b - sum of r_bf x_f. The ranks,
// the verdict and which coefficients are zero come from exact values; the
// printed numbers from float arithmetic in a fixed order.
#include "ops/system.h"

#include <cmath>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "dialogue/entry_display.h"
#include "kernels/reduction/echelon.h"
#include "ops/working.h"

namespace trelvo {
namespace {

constexpr char kProgress[] = "Risoluzione del sistema";
constexpr char kImpossible[] = "\nIl sistema e' IMPOSSIBILE.\n";
constexpr char kOneSolution[] = "\nIl sistema ha una sola soluzione:\n\n";

void enterKnownTerms(Dialogue& d, float* terms, int32_t rows) {
  int32_t method;
  do {
    method = enterElements(d, MatrixView(terms), rows, 1, Wording::kKnownTerms);
  } while (method != kRandomFill && method != kManualEntry);
}

// [A | b], row-major with unknowns + 1 columns.
Storage<float> augmented(const Dialogue& d, WorkingMatrix& m, const float* terms) {
  const int64_t width = int64_t{m.cols} + 1;
  Storage<float> a = d.allocate<float>(m.rows * width);
  const MatrixView current = m.current();
  for (int64_t r = 0; r < m.rows; ++r) {
    for (int64_t c = 0; c < m.cols; ++c) a[r * width + c] = current[r * m.cols + c];
    a[r * width + m.cols] = terms[r];
  }
  return a;
}

void printRanks(Console& io, int64_t coefficientRank, int64_t completeRank) {
  io.printf("\n\nRango della matrice dei coefficienti= %lld\nRango della matrice completa= %lld\n",
            static_cast<long long>(coefficientRank), static_cast<long long>(completeRank));
}

void printUnknown(Console& io, int64_t column, float value) {
  io.printf("   x%lld = ", static_cast<long long>(column + 1));
  io.printCell(value);
}

void printOneSolution(Dialogue& d, WorkingMatrix& m, const kernels::ReducedSystem& s) {
  d.io.print(kOneSolution);
  for (size_t k = 0; k < s.values.size(); ++k) {
    printUnknown(d.io, s.pivotColumns[k], s.values[k]);
    d.io.print("\n");
  }
  const std::vector<float> solution = s.values;
  offerSave(d, m, [&](WorkingMatrix& w) {
    keepMatrix(d, w, static_cast<int32_t>(solution.size()), 1, solution.data());
  });
}

// x_b = c_b - sum of r_bf x_f: a positive r is taken away, a negative one added.
void printFreeTerms(Console& io, const kernels::ReducedSystem& s, size_t k) {
  const size_t frees = s.freeColumns.size();
  for (size_t j = 0; j < frees; ++j) {
    if (s.coefficientIsZero[k * frees + j]) continue;
    const float r = s.coefficients[k * frees + j];
    io.print(r > 0.0f ? " - " : " + ");
    io.printFixed(std::fabs(r), 0);
    io.printf(" x%lld", static_cast<long long>(s.freeColumns[j] + 1));
  }
}

void printInfiniteSolutions(Console& io, int32_t unknowns, const kernels::ReducedSystem& s) {
  const size_t frees = s.freeColumns.size();
  if (frees == 1) {
    io.print("\nIl sistema ha infinite soluzioni (1 incognita libera):\n\n");
  } else {
    io.printf("\nIl sistema ha infinite soluzioni (%lld incognite libere):\n\n",
              static_cast<long long>(frees));
  }
  size_t k = 0;
  for (int64_t c = 0; c < unknowns; ++c) {
    if (k < s.pivotColumns.size() && s.pivotColumns[k] == c) {
      printUnknown(io, c, s.values[k]);
      printFreeTerms(io, s, k);
      ++k;
    } else {
      io.printf("   x%lld libera", static_cast<long long>(c + 1));
    }
    io.print("\n");
  }
}

}  // namespace

void solveSystem(Dialogue& d, WorkingMatrix& m) {
  Storage<float> terms = d.allocate<float>(m.rows);
  enterKnownTerms(d, terms.data(), m.rows);
  const int64_t cols = int64_t{m.cols} + 1;
  if (m.rows == m.cols && !isPrintable(cols) && !firstStepLeavesNothingBelow(m)) {
    // Only line breaks to print: a system whose determinant is not zero
    // takes the determinant's fast reduction.
    const MatrixView current = m.current();
    if (std::optional<std::vector<float>> x =
            kernels::solveByFastReduction(current.values(), current.step(), terms.data(), m.cols)) {
      d.io.print("\n\n" + std::string(static_cast<size_t>(cols), '\n'));
      printRanks(d.io, m.cols, m.cols);
      kernels::ReducedSystem s;
      s.pivotColumns.resize(static_cast<size_t>(m.cols));
      std::iota(s.pivotColumns.begin(), s.pivotColumns.end(), int64_t{0});
      s.values = std::move(*x);
      printOneSolution(d, m, s);
      return;
    }
  }
  Storage<float> a = augmented(d, m, terms.data());
  kernels::Echelon e(a.data(), m.rows, cols, printsTableaux(m.rows, cols));
  reduceToEchelon(d, e, kProgress);
  const int64_t coefficientRank = e.pivotsBefore(m.cols);
  const int64_t completeRank = e.pivots();
  printRanks(d.io, coefficientRank, completeRank);
  if (coefficientRank != completeRank) {
    d.io.print(kImpossible);
    return;
  }
  const kernels::ReducedSystem s = kernels::reduceSystem(e, m.cols);
  if (coefficientRank == m.cols) {
    printOneSolution(d, m, s);
  } else {
    printInfiniteSolutions(d.io, m.cols, s);
  }
}

}  // namespace trelvo
