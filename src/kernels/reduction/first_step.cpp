#include "kernels/reduction/first_step.h"

#include <algorithm>
#include <cassert>
#include <numeric>

#include "kernels/exact/modular.h"
#include "kernels/exact/modular_lu.h"
#include "kernels/kernels.h"
#include "kernels/parallel.h"
#include "kernels/row_order.h"
#include "kernels/strict_float.h"
#include "kernels/sweep.h"

namespace trelvo::kernels {

FirstStep::FirstStep(const float* a, int64_t n) : a_(a), n_(n), rowAt_(n) {
  assert(n >= 2 && !isZero(a[0]));
  std::iota(rowAt_.begin(), rowAt_.end(), int64_t{0});
  sweep();
}

// As the column step computes it (the pivot row is left as it is).
float FirstStep::floatAfter(int64_t row, int64_t c) const {
  const float entry = a_[row * n_ + c];
  const float inColumn = a_[row * n_];
  if (row == 0 || isZero(inColumn)) return entry;
  const float factor = quotientInOrder(-inColumn, a_[0]);
  return sumInOrder(productInOrder(a_[c], factor), entry);
}

// Zero modulo both primes, as the residues of the step give it: a row's
// value becomes entry - inColumn * pivotRow[c] / pivot, zero exactly when
// entry * pivot = inColumn * pivotRow[c] (the pivot is a non-zero float,
// never a multiple of either prime).
bool FirstStep::exactlyZeroAfter(int64_t row, int64_t c) const {
  const float entry = a_[row * n_ + c];
  if (row == 0) return isZero(entry);
  for (const modular::Field* field : {&modular::firstField(), &modular::secondField()}) {
    const int64_t left = field->product(field->residueOf(entry), field->residueOf(a_[0]));
    const int64_t right = field->product(field->residueOf(a_[row * n_]), field->residueOf(a_[c]));
    if (left != right) return false;
  }
  return true;
}

bool FirstStep::countsAsZero(int64_t position, int64_t c) const {
  const int64_t row = rowAt_[position];
  return isZero(floatAfter(row, c)) || exactlyZeroAfter(row, c);
}

// The sweep with the exact zero test, on row numbers.
void FirstStep::sweep() {
  struct OnRowNumbers {
    FirstStep& step;
    bool countsAsZero(int64_t position, int64_t c) const { return step.countsAsZero(position, c); }
    void exchange(int64_t r, int64_t p) {
      std::swap(step.rowAt_[r], step.rowAt_[p]);
      ++step.exchanges_;
    }
    void nothingBelow(int64_t k, int64_t) {
      for (int64_t r = k; r < step.n_; ++r) {
        const int64_t row = step.rowAt_[r];
        if (!isZero(step.floatAfter(row, k)) && step.exactlyZeroAfter(row, k)) {
          step.flushes_.push_back({row, k});
        }
      }
    }
  } policy{*this};
  sweepAlongDiagonal(policy, 0, 0, n_, n_, n_);
}

int FirstStep::signAfter(int sign) const { return exchanges_ % 2 == 0 ? sign : -sign; }

void FirstStep::writeFirstResidues(double* out) const {
  const modular::Field& field = modular::firstField();
  const double p = static_cast<double>(field.prime());
  const double inverseOfPivot = field.centredInverse(field.centredResidueOf(a_[0]));
  std::vector<double> pivotRow(static_cast<size_t>(n_));
  for (int64_t c = 0; c < n_; ++c) pivotRow[c] = field.centredResidueOf(a_[c]);
  const int parts = parallel::partsFor(n_ * n_ * 8);
  parallel::runParts(parts, [&](int part) {
    const auto [begin, end] = parallel::shareOf(n_, part, parts, 1);
    for (int64_t r = begin; r < end; ++r) {
      const int64_t row = rowAt_[r];
      const float* entries = a_ + row * n_;
      // The row's multiple of the pivot row: none for the pivot row itself.
      const double multiple =
          row == 0 ? 0.0
                   : modular::reduce(field.centredResidueOf(entries[0]) * inverseOfPivot, p, 1 / p);
      double* to = out + r * n_;
      for (int64_t c = 0; c < n_; ++c) {
        to[c] =
            modular::reduce(field.centredResidueOf(entries[c]) - multiple * pivotRow[c], p, 1 / p);
      }
    }
  });
}

bool FirstStep::zeroModuloFirstPrimeAfterSecondStep() const {
  const modular::Field& field = modular::firstField();
  auto residue = [&](float x) { return field.centredResidueOf(x); };
  // The residue of (position, c) after the first step and its sweep (a
  // flushed entry was exactly zero, and so is its residue).
  auto after = [&](int64_t position, int64_t c) {
    const float* row = a_ + rowAt_[position] * n_;
    if (rowAt_[position] == 0) return residue(row[c]);
    return field.centredAfterStep(residue(row[c]), residue(row[0]), residue(a_[c]), residue(a_[0]));
  };
  for (int64_t k = 2; k + 1 < n_; ++k) {
    if (field.centredAfterStep(after(k, k), after(k, 1), after(1, k), after(1, 1)) == 0.0) {
      return true;
    }
  }
  return false;
}

void FirstStep::apply(float* a) const {
  eliminateColumn(a, n_, 0);
  for (const Flush& flush : flushes_) a[flush.row * n_ + flush.c] = 0.0f;
  RowOrder::applyOrder(rowAt_, a, n_, n_);
}

}  // namespace trelvo::kernels
