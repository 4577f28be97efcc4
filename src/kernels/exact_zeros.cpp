#include "kernels/exact_zeros.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

#include "kernels/kernels.h"
#include "kernels/modular.h"
#include "kernels/modular_lu.h"
#include "kernels/parallel.h"
#include "kernels/reference.h"
#include "kernels/sweep.h"

namespace trelvo::kernels {
namespace {

// The column step of the pivot (r, c) on the rows x cols residues `e`
// modulo one prime, on the columns from `from` on.
void eliminateModulo(const modular::Field& field, double* e, int64_t rows, int64_t cols, int64_t r,
                     int64_t c, int64_t from) {
  const double* pivotRow = e + r * cols;
  const double inverse = field.centredInverse(pivotRow[c]);
  if (inverse == 0.0) return;
  const double p = static_cast<double>(field.prime());
  const modular::ModularCode& code = modular::activeModularCode();
  // Each row on its own: two cores share long steps (a step is short by the
  // measure of whole jobs, and each of its residues takes several
  // operations).
  const int parts = parallel::partsFor((rows - r - 1) * (cols - from) * 256);
  parallel::runParts(parts, [&](int part) {
    const auto [begin, end] = parallel::shareOf(rows - r - 1, part, parts, 16);
    for (int64_t i = r + 1 + begin; i < r + 1 + end; ++i) {
      double* row = e + i * cols;
      if (row[c] == 0.0) continue;
      const double multiple = modular::reduce(row[c] * inverse, p, 1.0 / p);
      code.rowTakeAway(row + from, pivotRow + from, multiple, cols - from, p);
    }
  });
}

// Rows r and s of the n-column `a`.
template <class T>
void swapRows(T* a, int64_t n, int64_t r, int64_t s) {
  std::swap_ranges(a + r * n, a + r * n + n, a + s * n);
}

// Column k from the diagonal down: a residue where the exact value is zero
// becomes the zero it stands for.
void clearResidues(float* a, int64_t n, int64_t k, const ExactResidues& exact) {
  for (int64_t r = k; r < n; ++r) {
    if (a[r * n + k] != 0.0f && exact.isExactZero(r, k)) a[r * n + k] = 0.0f;
  }
}

}  // namespace

namespace {

bool& exactZerosSwitch() {
  static bool use = true;
  return use;
}

}  // namespace

void useExactZeros(bool use) { exactZerosSwitch() = use; }
bool exactZerosInUse() { return exactZerosSwitch(); }

ExactResidues::ExactResidues(const float* a, int64_t n) : ExactResidues(a, n, n) {}

ExactResidues::ExactResidues(const float* a, int64_t rows, int64_t cols)
    : on_(exactZerosInUse() &&
          std::all_of(a, a + rows * cols, [](float x) { return std::isfinite(x); })),
      rows_(rows),
      cols_(cols) {
  if (!on_) return;
  first_.resize(static_cast<size_t>(rows * cols));
  second_.resize(static_cast<size_t>(rows * cols));
  const modular::Field& first = modular::firstField();
  const modular::Field& second = modular::secondField();
  for (int64_t k = 0; k < rows * cols; ++k) {
    first_[k] = first.centredResidueOf(a[k]);
    second_[k] = second.centredResidueOf(a[k]);
  }
}

ExactResidues::ExactResidues(std::vector<double> first, std::vector<double> second, int64_t n)
    : on_(true), rows_(n), cols_(n), first_(std::move(first)), second_(std::move(second)) {}

int64_t ExactResidues::residue(int prime, int64_t r, int64_t c) const {
  const int64_t p = prime == 0 ? modular::kFirstPrime : modular::kSecondPrime;
  const auto x = static_cast<int64_t>((prime == 0 ? first_ : secondNow())[r * cols_ + c]);
  return (x % p + p) % p;
}

void ExactResidues::exchangeRows(int64_t r, int64_t s) {
  if (!on_) return;
  swapRows(first_.data(), cols_, r, s);
  waiting_.push_back({true, r, s, 0});
}

void ExactResidues::stepsWithoutExchanges(int64_t from, int64_t to) {
  if (!on_) return;
  const modular::ModularCode& code = modular::activeModularCode();
  assert(rows_ == cols_);
  modular::stepsWithoutExchanges(first_.data(), cols_, from, to, modular::kFirstPrime, code);
  secondNow();
  modular::stepsWithoutExchanges(second_.data(), cols_, from, to, modular::kSecondPrime, code);
}

void ExactResidues::eliminateColumn(int64_t j, int64_t from) { eliminateBelow(j, j, from); }

void ExactResidues::eliminateBelow(int64_t r, int64_t c, int64_t from) {
  if (!on_) return;
  eliminateModulo(modular::firstField(), first_.data(), rows_, cols_, r, c, from);
  waiting_.push_back({false, r, c, from});
}

std::pair<std::vector<double>, std::vector<double>> ExactResidues::release() && {
  on_ = false;
  waiting_.clear();
  return {std::move(first_), std::move(second_)};
}

const std::vector<double>& ExactResidues::secondNow() const {
  for (const Waiting& w : waiting_) {
    if (w.exchange) {
      swapRows(second_.data(), cols_, w.r, w.s);
    } else {
      eliminateModulo(modular::secondField(), second_.data(), rows_, cols_, w.r, w.s, w.from);
    }
  }
  waiting_.clear();
  return second_;
}

bool allFinite(const float* a, int64_t n) {
  return std::all_of(a, a + n * n, [](float x) { return std::isfinite(x); });
}

namespace exact {

void pivotSweep(float* a, int64_t n, int& sign, ExactResidues& exact, int64_t first) {
  struct ExactZeros {
    float* a;
    int64_t n;
    int& sign;
    ExactResidues& residues;
    bool countsAsZero(int64_t r, int64_t c) const {
      return exact::countsAsZero(a, n, residues, r, c);
    }
    void exchange(int64_t r, int64_t p) {
      sign = -sign;
      swapRows(a, n, r, p);
      residues.exchangeRows(r, p);
    }
    void nothingBelow(int64_t k, int64_t) { clearResidues(a, n, k, residues); }
  } policy{a, n, sign, exact};
  sweepAlongDiagonal(policy, first, first, n, n, n);
}

void eliminateColumn(float* a, int64_t n, int64_t j, ExactResidues& exact) {
  reference::eliminateColumn(a, n, j);
  exact.eliminateColumn(j);
}

void reduceColumns(float* a, int64_t n, int& sign, ExactResidues& exact) {
  for (int64_t j = 0; j < n; ++j) {
    eliminateColumn(a, n, j, exact);
    pivotSweep(a, n, sign, exact);
  }
}

float diagonalProduct(const float* a, int64_t n, const ExactResidues& exact, bool lastExactlyZero,
                      float from) {
  float product = from;
  for (int64_t d = 0; d < n; ++d) {
    const float entry = a[d * n + d];
    const bool exactlyZero = exact.isExactZero(d, d) || (d == n - 1 && lastExactlyZero);
    product = productInOrder(product, entry != 0.0f && exactlyZero ? 0.0f : entry);
  }
  return product;
}

float reducedDeterminant(float* minor, int64_t m) {
  ExactResidues exact(minor, m);
  int sign = 1;
  pivotSweep(minor, m, sign, exact);
  reduceColumns(minor, m, sign, exact);
  return productInOrder(static_cast<float>(sign), diagonalProduct(minor, m, exact));
}

}  // namespace exact
}  // namespace trelvo::kernels
