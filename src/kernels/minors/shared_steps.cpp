#include "kernels/minors/shared_steps.h"

#include <algorithm>

#include "kernels/exact/modular.h"
#include "kernels/exact/modular_lu.h"
#include "kernels/strict_float.h"

namespace trelvo::kernels::minors {

void SharedSteps::startWhole(const Minors& m) {
  rows_ = cols_ = n_;
  steps_ = 0;
  before_ = 1.0f;
  withResidues_ = !m.residues.empty();
  makeRoomForResidues();
  std::copy(m.a, m.a + n_ * n_, a_);
  if (withResidues_) std::copy(m.residues.begin(), m.residues.end(), residues_.begin());
  std::fill(zeros_.begin(), zeros_.end(), 0);
  testFrom(0);
}

void SharedSteps::startWithout(const SharedSteps& whole, bool byRow, int64_t line) {
  byRow_ = byRow;
  rows_ = byRow ? n_ - 1 : n_;
  cols_ = byRow ? n_ : n_ - 1;
  steps_ = whole.steps_;
  before_ = whole.before_;
  withResidues_ = whole.withResidues_;
  makeRoomForResidues();
  // Only the entries from the steps on are read again.
  for (int64_t r = steps_; r < rows_; ++r) {
    const int64_t fromRow = r + (byRow && r >= line);
    copyWithout(whole.a_, fromRow, line, a_, r);
    if (withResidues_) copyWithout(whole.residues_.data(), fromRow, line, residues_.data(), r);
  }
  zerosWithout(whole, line);
}

// Row `fromRow` of the whole, from the steps on, into row r here, column
// `line` left out unless the row is what leaves a line out.
template <class T>
void SharedSteps::copyWithout(const T* whole, int64_t fromRow, int64_t line, T* to,
                              int64_t r) const {
  const T* in = whole + fromRow * n_;
  T* out = to + r * cols_;
  if (byRow_ || line < steps_) {
    const int64_t skip = byRow_ ? 0 : 1;
    std::copy(in + steps_ + skip, in + cols_ + skip, out + steps_);
    return;
  }
  std::copy(in + line + 1, in + n_, std::copy(in + steps_, in + line, out + steps_));
}

void SharedSteps::makeRoomForResidues() {
  if (!withResidues_ || !residues_.empty()) return;
  residues_.resize(n_ * n_);
  blockResidues_.resize(n_ * n_);
}

// The zeros met so far, read from the whole's: its row r + 1 is row r here
// from row `line` on (byRow), or its column c + 1 column c from `line` on.
void SharedSteps::zerosWithout(const SharedSteps& whole, int64_t line) {
  summarized_ = false;
  for (int64_t r = 0; r + 2 < n_; ++r) {
    const bool before = r < line;
    zeros(kDiagonal, r) =
        before ? whole.zeros(kDiagonal, r) : whole.zeros(byRow_ ? kBelow : kRight, r);
    if (byRow_) {
      zeros(kRight, r) = before ? whole.zeros(kRight, r) : whole.zeros(kDiagonal, r + 1);
    } else {
      zeros(kBelow, r) = before ? whole.zeros(kBelow, r) : whole.zeros(kDiagonal, r + 1);
    }
  }
}

void SharedSteps::advanceTo(const isa::Isa& x, int64_t steps) {
  for (; steps_ < steps; ++steps_) {
    before_ = productInOrder(before_, a_[steps_ * cols_ + steps_]);
    step(x, steps_);
    if (withResidues_) stepResidues(steps_);
    // The step changed the rows below its pivot row.
    testFrom(steps_);
  }
}

// Column step s as the plain code takes it, on the columns right of s (the
// others are not read again without exchanges).
void SharedSteps::step(const isa::Isa& x, int64_t s) {
  x.columnStep(a_, cols_, s + 1, rows_, a_ + s * cols_, s, s + 1, cols_);
}

void SharedSteps::stepResidues(int64_t s) {
  const double* pivot = residues_.data() + s * cols_;
  const double inverse = modular::firstField().centredInverse(pivot[s]);
  if (inverse == 0.0) return;
  const auto p = static_cast<double>(modular::kFirstPrime);
  const modular::ModularCode& code = modular::activeModularCode();
  for (int64_t r = s + 1; r < rows_; ++r) {
    double* row = residues_.data() + r * cols_;
    if (row[s] == 0.0) continue;
    const double multiple = modular::reduce(row[s] * inverse, p, 1.0 / p);
    code.rowTakeAway(row + s + 1, pivot + s + 1, multiple, cols_ - s - 1, p);
  }
}

// The sweeps test the diagonal up to n - 3 of a minor, which is n - 1
// square: up to n - 2 here, and beside it up to n - 3.
void SharedSteps::testFrom(int64_t first) {
  summarized_ = false;
  // Locals: a byte store may alias anything, and would make the compiler
  // load every member again after it.
  const int64_t n = n_;
  const int64_t rows = rows_;
  const int64_t cols = cols_;
  const float* a = a_;
  const double* residues = withResidues_ ? residues_.data() : nullptr;
  auto zeroAt = [&](int64_t r, int64_t c) -> uint8_t {
    const int64_t k = r * cols + c;
    const bool residueZero = residues != nullptr && residues[k] == 0.0;
    return (isZero(a[k]) ? kFloatZero : 0) | (residueZero ? kResidueZero : 0);
  };
  uint8_t* diagonal = zeros_.data() + kDiagonal * n;
  uint8_t* below = zeros_.data() + kBelow * n;
  uint8_t* right = zeros_.data() + kRight * n;
  for (int64_t r = first; r + 1 < n && r < rows && r < cols; ++r) {
    diagonal[r] |= zeroAt(r, r);
    if (r + 2 >= n) continue;
    if (r + 1 < rows) below[r] |= zeroAt(r + 1, r);
    if (r + 1 < cols) right[r] |= zeroAt(r, r + 1);
  }
}

bool SharedSteps::metZero(int64_t other, bool exact) const {
  if (!summarized_) summarizeZeros();
  const ZerosFound& found = found_[exact ? 1 : 0];
  return found.firstOnDiagonal < std::min(other, n_ - 2) || found.lastBeside >= other;
}

// What metZero asks of the zeros, once for all the lanes of a state: the
// minors tested on the diagonal up to n - 3 and beside it from their
// left-out line on.
void SharedSteps::summarizeZeros() const {
  const Place beside = byRow_ ? kRight : kBelow;
  for (int kind = 0; kind < 2; ++kind) {
    const uint8_t zero = kind == 1 ? kFloatZero | kResidueZero : kFloatZero;
    ZerosFound& found = found_[kind];
    found = ZerosFound{n_, -1};
    for (int64_t r = 0; r + 2 < n_; ++r) {
      if ((zeros(kDiagonal, r) & zero) && found.firstOnDiagonal == n_) found.firstOnDiagonal = r;
      if (zeros(beside, r) & zero) found.lastBeside = r;
    }
  }
  summarized_ = true;
}

template <class T>
void SharedSteps::copyBlock(const T* from, T* to) const {
  const int64_t side = n_ - steps_;
  const int64_t width = cols_ - steps_;
  T* out = to;
  for (int64_t r = 0; r < side; ++r, out += side) {
    if (steps_ + r >= rows_) {
      std::fill(out, out + side, T{});
      continue;
    }
    const T* in = from + (steps_ + r) * cols_ + steps_;
    std::fill(std::copy(in, in + width, out), out + side, T{});
  }
}

const float* SharedSteps::block() {
  copyBlock(a_, block_);
  return block_;
}

const double* SharedSteps::blockResidues() {
  copyBlock(residues_.data(), blockResidues_.data());
  return blockResidues_.data();
}

}  // namespace trelvo::kernels::minors
