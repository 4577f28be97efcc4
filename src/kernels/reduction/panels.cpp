#include "kernels/reduction/panels.h"

#include <algorithm>

#include "kernels/parallel.h"
#include "kernels/product/gemm.h"
#include "kernels/reference.h"
#include "kernels/strict_float.h"

namespace trelvo::kernels::reduction {

namespace {

int64_t packedColumnFloats(const isa::Isa& x, int64_t n) {
  return gemm::SharedColumns::roomFloats(x, Panels::kPanel, n, 2);
}

int64_t packingFloats(const isa::Isa& x, int64_t n) {
  return packedColumnFloats(x, n) + pack::RowBlocks::roomFloats(x, Panels::kPanel, n, 2);
}

}  // namespace

Panels::Panels(const isa::Isa& x, float* a, int64_t n, int& sign, int64_t keptFloats)
    : x_(x),
      a_(a),
      n_(n),
      sign_(sign),
      room_(packingFloats(x, n) + n * kPanel + keptFloats + pack::floatsHolding(n * kPanel)),
      factors_(room_.data() + packingFloats(x, n)),
      kept_(factors_ + n * kPanel),
      skips_(reinterpret_cast<uint8_t*>(kept_ + keptFloats)),
      diagonal_(n),
      rowBlocks_(x, kPanel, n, 2, room_.data() + packedColumnFloats(x, n)),
      sharedColumns_{{x, kPanel, n, 1, room_.data()}, {x, kPanel, n, 2, room_.data()}} {
  // The packed blocks are written before they are read; the rows' factors
  // and skips and the mode's room start at zero.
  std::fill(factors_, reinterpret_cast<float*>(skips_) + pack::floatsHolding(n * kPanel), 0.0f);
}

int64_t Panels::everyColumnUpTo(int64_t limit) {
  int64_t j = 0;
  while (j < std::min(limit, n_)) {
    j = finishPanel(Columns::kEvery, stepsUntilSweep(Columns::kEvery, j, limit));
  }
  return j;
}

void Panels::startPanel(int64_t first, int64_t limit) {
  first_ = first;
  end_ = std::min({first + kPanel, limit, n_});
}

int64_t Panels::stepsUntilSweep(Columns columns, int64_t first, int64_t limit) {
  startPanel(first, limit);
  for (int64_t k = end_; k < n_; ++k) diagonal_[k] = row(k)[k];
  for (int64_t j = first_; j < end_; ++j) {
    bringUpToDate(columns, j);
    eliminateInPanel(j);
    if (sweepMayAct()) return j;
  }
  return kNone;
}

int64_t Panels::finishPanel(Columns columns, int64_t sweepAfter) {
  if (sweepAfter == kNone) {
    addWaitingTerms(columns, end_ - 1);
    return end_;
  }
  addWaitingTerms(columns, sweepAfter);
  reference::pivotSweep(a_, n_, sign_);
  return sweepAfter + 1;
}

void Panels::updateOutsidePanel(Columns columns, float* target, const float* pivot, float factor) {
  if (columns == Columns::kEvery) x_.rowUpdate(target, pivot, factor, first_);
  x_.rowUpdate(target + end_, pivot + end_, factor, n_ - end_);
}

void Panels::bringUpToDate(Columns columns, int64_t j) {
  for (int64_t s = first_; s < j; ++s) {
    if (!skips_[slot(j, s)]) updateOutsidePanel(columns, row(j), row(s), factors_[slot(j, s)]);
  }
}

void Panels::eliminateInPanel(int64_t j) {
  const float* pivot = row(j);
  for (int64_t i = j + 1; i < n_; ++i) {
    float* target = row(i);
    skips_[slot(i, j)] = isZero(target[j]);
    if (isZero(target[j])) continue;
    const float factor = quotientInOrder(-target[j], pivot[j]);
    factors_[slot(i, j)] = factor;
    x_.rowUpdate(target + first_, pivot + first_, factor, end_ - first_);
    if (i >= end_) diagonal_[i] = sumInOrder(productInOrder(pivot[i], factor), diagonal_[i]);
  }
}

bool Panels::sweepMayAct() {
  for (int64_t k = 0; k + 1 < n_; ++k) {
    // Rows up to j are up to date, and so are the panel's columns.
    const float entry = k < end_ ? row(k)[k] : diagonal_[k];
    if (isZero(entry)) return true;
  }
  return false;
}

bool Panels::zeroOnDiagonalIn(int64_t begin, int64_t end) {
  for (int64_t k = begin; k < std::min(end, n_ - 1); ++k) {
    if (isZero(row(k)[k])) return true;
  }
  return false;
}

void Panels::addWaitingTerms(Columns columns, int64_t last) {
  const int64_t firstRow = last + 1;
  const int64_t rows = n_ - firstRow;
  if (rows <= 0) return;
  // Row i's factor of step first_ + l at factors_[i * kPanel + l], pivot
  // row first_ + l as row l of the terms' second operand.
  const gemm::Operands terms{factors_,          kPanel, skips_, row(first_), n_, a_, n_,
                             last - first_ + 1, true};
  const int parts = parallel::partsFor(rows * n_ * terms.depth);
  gemm::SharedColumns* shared = &sharedColumns_[parts - 1];
  parallel::runParts(parts, [&](int part) {
    if (columns == Columns::kEvery) {
      gemm::blockLoops(x_, terms, firstRow, n_, 0, first_, part, *shared, rowBlocks_);
    }
    gemm::blockLoops(x_, terms, firstRow, n_, end_, n_, part, *shared, rowBlocks_);
  });
}

}  // namespace trelvo::kernels::reduction
