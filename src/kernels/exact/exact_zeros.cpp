#include "kernels/exact/exact_zeros.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

#include "kernels/exact/modular.h"
#include "kernels/exact/modular_lu.h"
#include "kernels/kernels.h"
#include "kernels/parallel.h"
#include "kernels/reference.h"
#include "kernels/sweep.h"

namespace trelvo::kernels {
namespace {

// The column step of the pivot (r, c) on the rows x cols residues `e`
// modulo one prime, on the columns from `from` on, the row at position k
// being row order[k] of `e` (row k when there is no order).
void eliminateModulo(const modular::Field& field, double* e, int64_t rows, int64_t cols, int64_t r,
                     int64_t c, int64_t from, const std::vector<int64_t>* order) {
  auto rowAt = [&](int64_t k) { return e + (order ? (*order)[k] : k) * cols; };
  const double* pivotRow = rowAt(r);
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
      double* row = rowAt(i);
      if (row[c] == 0.0) continue;
      const double multiple = modular::reduce(row[c] * inverse, p, 1.0 / p);
      code.rowTakeAway(row + from, pivotRow + from, multiple, cols - from, p);
    }
  });
}

// Below this many steps, a stretch without exchanges is taken one step at
// a time: the blocked code would first put the rows in order.
constexpr int64_t kStepsOneByOne = 4;

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
      cols_(cols),
      order_(rows) {
  if (!on_) return;
  // Each element written once: a resize would first write zeros, and a
  // large block's fresh pages cost as much again.
  const auto entries = static_cast<size_t>(rows * cols);
  first_.reserve(entries);
  second_.reserve(entries);
  const modular::Field& first = modular::firstField();
  const modular::Field& second = modular::secondField();
  for (size_t k = 0; k < entries; ++k) {
    first_.push_back(first.centredResidueOf(a[k]));
    second_.push_back(second.centredResidueOf(a[k]));
  }
}

ExactResidues::ExactResidues(std::vector<double> first, std::vector<double> second, int64_t n)
    : on_(true),
      rows_(n),
      cols_(n),
      order_(n),
      first_(std::move(first)),
      second_(std::move(second)) {}

int64_t ExactResidues::residue(int prime, int64_t r, int64_t c) const {
  const int64_t p = prime == 0 ? modular::kFirstPrime : modular::kSecondPrime;
  const auto x =
      static_cast<int64_t>((prime == 0 ? first_ : secondNow())[order_.at(r) * cols_ + c]);
  return (x % p + p) % p;
}

const std::vector<double>& ExactResidues::firstResidues() const {
  putInOrder();
  return first_;
}

const std::vector<double>& ExactResidues::secondResidues() const {
  putInOrder();
  return secondNow();
}

void ExactResidues::copyInOrder(int prime, int64_t from, Scratch& into) const {
  const std::vector<double>& residues = prime == 0 ? first_ : secondNow();
  // Left uninitialised: only the part copied is read, and only its pages
  // are taken.
  if (into.size < residues.size()) {
    into.values.reset(new double[residues.size()]);
    into.size = residues.size();
  }
  for (int64_t r = from; r < rows_; ++r) {
    const double* row = residues.data() + order_.at(r) * cols_;
    std::copy(row + from, row + cols_, into.values.get() + r * cols_ + from);
  }
}

void ExactResidues::putInOrder() const {
  if (!order_.moved()) return;
  secondNow();
  std::shared_ptr<const std::vector<int64_t>> order = order_.snapshot();
  RowOrder::applyOrder(*order, first_.data(), rows_, cols_);
  RowOrder::applyOrder(*order, second_.data(), rows_, cols_);
  order_ = RowOrder(rows_);
}

void ExactResidues::exchangeRows(int64_t r, int64_t s) {
  if (on_) order_.exchange(r, s);
}

void ExactResidues::stepsWithoutExchanges(int64_t from, int64_t to) {
  if (!on_) return;
  if (to - from < kStepsOneByOne) {
    for (int64_t j = from; j < to; ++j) eliminateColumn(j, j);
    return;
  }
  const modular::ModularCode& code = modular::activeModularCode();
  assert(rows_ == cols_);
  putInOrder();
  modular::stepsWithoutExchanges(first_.data(), cols_, from, to, modular::kFirstPrime, code);
  modular::stepsWithoutExchanges(second_.data(), cols_, from, to, modular::kSecondPrime, code);
}

void ExactResidues::eliminateColumn(int64_t j, int64_t from) { eliminateBelow(j, j, from); }

void ExactResidues::eliminateBelow(int64_t r, int64_t c, int64_t from) {
  if (!on_) return;
  std::shared_ptr<const std::vector<int64_t>> order = order_.snapshot();
  eliminateModulo(modular::firstField(), first_.data(), rows_, cols_, r, c, from, order.get());
  waiting_.push_back({r, c, from, std::move(order)});
}

bool ExactResidues::stepChangesNothing(int64_t r, int64_t c) const {
  if (!on_) return true;
  const std::vector<double>* const primes[] = {&first_, &secondNow()};
  for (const std::vector<double>* e : primes) {
    if ((*e)[order_.at(r) * cols_ + c] == 0.0) continue;
    for (int64_t i = r + 1; i < rows_; ++i) {
      if ((*e)[order_.at(i) * cols_ + c] != 0.0) return false;
    }
  }
  return true;
}

bool ExactResidues::zeroOnDiagonalAfterStep(int64_t j) const {
  if (!on_) return false;
  auto zeroAfter = [&](const std::vector<double>& e, const modular::Field& field, int64_t k) {
    auto at = [&](int64_t r, int64_t c) { return e[order_.at(r) * cols_ + c]; };
    return field.centredAfterStep(at(k, k), at(k, j), at(j, k), at(j, j)) == 0.0;
  };
  for (int64_t k = j + 1; k + 1 < rows_; ++k) {
    if (zeroAfter(first_, modular::firstField(), k) &&
        zeroAfter(secondNow(), modular::secondField(), k)) {
      return true;
    }
  }
  return false;
}

std::pair<std::vector<double>, std::vector<double>> ExactResidues::release() && {
  on_ = false;
  waiting_.clear();
  order_ = RowOrder();
  return {std::move(first_), std::move(second_)};
}

void ExactResidues::takeWaitingSteps() const {
  for (const Waiting& w : waiting_) {
    eliminateModulo(modular::secondField(), second_.data(), rows_, cols_, w.r, w.s, w.from,
                    w.order.get());
  }
  waiting_.clear();
}

bool allFinite(const float* a, int64_t n) {
  return std::all_of(a, a + n * n, [](float x) { return std::isfinite(x); });
}

namespace exact {

void pivotSweep(float* a, int64_t n, int& sign, ExactResidues& exact, int64_t first) {
  // The floats' rows move once, after the sweep; the residues' when next
  // read in place.
  struct ExactZeros {
    float* a;
    int64_t n;
    int& sign;
    ExactResidues& residues;
    RowOrder rows;
    float& entry(int64_t r, int64_t c) { return a[rows.at(r) * n + c]; }
    bool countsAsZero(int64_t r, int64_t c) {
      return entry(r, c) == 0.0f || residues.isExactZero(r, c);
    }
    void exchange(int64_t r, int64_t p) {
      sign = -sign;
      rows.exchange(r, p);
      residues.exchangeRows(r, p);
    }
    // Column k from the diagonal down: a residue where the exact value is
    // zero becomes the zero it stands for.
    void nothingBelow(int64_t k, int64_t) {
      for (int64_t r = k; r < n; ++r) {
        if (entry(r, k) != 0.0f && residues.isExactZero(r, k)) entry(r, k) = 0.0f;
      }
    }
  } policy{a, n, sign, exact, RowOrder(n)};
  sweepAlongDiagonal(policy, first, first, n, n, n);
  policy.rows.applyTo(a, n);
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
