#include "kernels/reduction/echelon.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>

#include "kernels/dispatch.h"
#include "kernels/exact/modular.h"
#include "kernels/kernels.h"
#include "kernels/parallel.h"
#include "kernels/reduction/exact_reduction.h"
#include "kernels/strict_float.h"
#include "kernels/sweep.h"

namespace trelvo::kernels {
namespace {

// One step is too short to share by the measure of whole jobs: the second
// core's hand-over costs microseconds, a step over a few hundred thousand
// entries a fraction of a millisecond.
constexpr int64_t kStepWeight = 64;

}  // namespace

Echelon::Echelon(float* a, int64_t rows, int64_t cols, bool everyColumn)
    : a_(a),
      rows_(rows),
      cols_(cols),
      everyColumn_(everyColumn),
      exact_(a, rows, cols),
      pivotRowOf_(static_cast<size_t>(cols), -1),
      zeroRow_(static_cast<size_t>(rows), 0),
      zeroFrom_(static_cast<size_t>(cols), 0),
      zeroFromAt_(static_cast<size_t>(cols), 0) {
  for (int64_t r = 0; r < rows; ++r) flushIfZeroRow(r, 0);
}

void Echelon::exchange(int64_t r, int64_t s) {
  ++changes_;
  std::swap_ranges(a_ + r * cols_, a_ + (r + 1) * cols_, a_ + s * cols_);
  std::swap(zeroRow_[r], zeroRow_[s]);
  exact_.exchangeRows(r, s);
}

void Echelon::flushColumnFrom(int64_t r, int64_t c, int64_t end) {
  for (int64_t i = r; i < end; ++i) {
    float& x = a_[i * cols_ + c];
    if (x != 0.0f && exact_.isExactZero(i, c)) x = 0.0f;
  }
}

void Echelon::flushIfZeroRow(int64_t r, int64_t from) {
  for (int64_t c = from; c < cols_; ++c) {
    if (!countsAsZero(r, c)) return;
  }
  zeroRow_[r] = 1;
  for (int64_t c = 0; c < cols_; ++c) {
    if (a_[r * cols_ + c] != 0.0f) a_[r * cols_ + c] = 0.0f;
  }
}

int64_t Echelon::lastRowNotZero() const {
  int64_t last = rows_ - 1;
  while (last >= 0 && zeroRow_[last]) --last;
  return last;
}

// The echelon form's zero test and exchanges, for the sweep.
struct Echelon::Policy {
  Echelon& e;
  int64_t flushEnd;
  bool countsAsZero(int64_t r, int64_t c) const { return e.zeroRow_[r] || e.countsAsZero(r, c); }
  void exchange(int64_t r, int64_t p) { e.exchange(r, p); }
  void nothingBelow(int64_t r, int64_t c) { e.flushColumnFrom(r, c, flushEnd); }
};

void Echelon::sweep() {
  std::fill(pivotRowOf_.begin() + settledCols_, pivotRowOf_.end(), -1);
  const int64_t c = settledCols_;
  const int64_t end = lastRowNotZero() + 1;
  int64_t r = settledRows_;
  if (c >= cols_ || r >= end) return;
  // The next step's column has its pivot, or is passed over; the later
  // positions follow along the diagonal, as the determinant's sweep visits
  // them in the matrix bordered below by a row of zeros (so the last row's
  // position is visited too): a square system is reduced as the
  // determinant reduces it bordered, which its fast way does.
  if (sweepPositionOnce(r, c, end)) pivotRowOf_[c] = r++;
  for (int64_t k = c + 1; k < cols_ && r < rows_ && r < end; ++r, ++k) sweepPositionOnce(r, k, end);
}

// The sweep's visit of (r, c). Below the rows it knows to count as zero
// in column c, flushed, nothing having changed since, it looks no further:
// a column passed over shifts the later positions up by a row, and each
// visit then looks at one row more than the last.
bool Echelon::sweepPositionOnce(int64_t r, int64_t c, int64_t end) {
  const bool known = rememberZeroColumns_ && zeroFromAt_[c] == changes_;
  const int64_t zeroFrom = known ? std::min(zeroFrom_[c], rows_) : rows_;
  Policy policy{*this, zeroFrom};
  const bool pivot = sweepPosition(policy, r, c, std::min(end, zeroFrom));
  if (!pivot && (!known || r < zeroFrom_[c])) {
    zeroFrom_[c] = r;
    zeroFromAt_[c] = changes_;
  }
  return pivot;
}

void Echelon::columnStep(int64_t c) {
  settledCols_ = c + 1;
  const int64_t r = pivotRowOf_[c];
  if (r < 0) return;
  settledRows_ = r + 1;
  ++changes_;
  // Left of the pivot, rows below it are never read again unless printed,
  // nor, with exact values, tested.
  const int64_t from = everyColumn_ || !exact_.on() ? 0 : c;
  const float* pivotRow = a_ + r * cols_;
  const isa::Isa& x = activeIsa();
  const int parts = parallel::partsFor((rows_ - r - 1) * (cols_ - from) * kStepWeight);
  parallel::runParts(parts, [&](int part) {
    const auto [begin, end] = parallel::shareOf(rows_ - r - 1, part, parts, 16);
    x.columnStep(a_, cols_, r + 1 + begin, r + 1 + end, pivotRow, c, from, cols_);
  });
  exact_.eliminateBelow(r, c, from);
  // With exact values, the rows below count as zero up to column c: the
  // steps so far took those entries exactly to zero.
  const int64_t testedFrom = exact_.on() ? c + 1 : 0;
  for (int64_t i = r + 1; i < rows_; ++i) {
    if (!zeroRow_[i]) flushIfZeroRow(i, testedFrom);
  }
}

int64_t Echelon::pivots() const { return pivotsBefore(cols_); }

int64_t Echelon::pivotsBefore(int64_t cols) const {
  return std::count_if(pivotRowOf_.begin(), pivotRowOf_.begin() + cols,
                       [](int64_t r) { return r >= 0; });
}

namespace {

// The back substitution on the residues modulo one prime, over the same
// columns as the floats: row k of `out` for pivot k.
std::vector<int64_t> reduceModulo(const Echelon& e, int prime, const std::vector<int64_t>& pivots,
                                  const std::vector<int64_t>& columns) {
  const modular::Field& field = prime == 0 ? modular::firstField() : modular::secondField();
  const size_t width = columns.size();
  std::vector<int64_t> out(pivots.size() * width);
  for (size_t k = 0; k < pivots.size(); ++k) {
    for (size_t j = 0; j < width; ++j) {
      out[k * width + j] = e.exact().residue(prime, e.pivotRow(pivots[k]), columns[j]);
    }
  }
  for (size_t k = pivots.size(); k-- > 0;) {
    const int64_t row = e.pivotRow(pivots[k]);
    const int64_t inverse = field.inverse(e.exact().residue(prime, row, pivots[k]));
    int64_t* reduced = out.data() + k * width;
    for (size_t j = 0; j < width; ++j) reduced[j] = field.product(reduced[j], inverse);
    for (size_t h = 0; h < k; ++h) {
      const int64_t above = e.exact().residue(prime, e.pivotRow(pivots[h]), pivots[k]);
      if (above == 0) continue;
      int64_t* target = out.data() + h * width;
      for (size_t j = 0; j < width; ++j) {
        target[j] = field.difference(target[j], field.product(above, reduced[j]));
      }
    }
  }
  return out;
}

}  // namespace

namespace {

// Each pivot's row of the echelon form `a` (row-major, `cols` wide), over
// the given columns, reduced as reduceSystem says; row k of the result for
// pivot k.
std::vector<float> backSubstitution(const float* a, int64_t cols,
                                    const std::vector<int64_t>& pivotRows,
                                    const std::vector<int64_t>& pivotColumns,
                                    const std::vector<int64_t>& columns) {
  const size_t width = columns.size();
  std::vector<float> out(pivotRows.size() * width);
  for (size_t k = 0; k < pivotRows.size(); ++k) {
    for (size_t j = 0; j < width; ++j) out[k * width + j] = a[pivotRows[k] * cols + columns[j]];
  }
  for (size_t k = pivotRows.size(); k-- > 0;) {
    const float pivot = a[pivotRows[k] * cols + pivotColumns[k]];
    float* reduced = out.data() + k * width;
    for (size_t j = 0; j < width; ++j) reduced[j] = quotientInOrder(reduced[j], pivot);
    for (size_t h = 0; h < k; ++h) {
      const float above = a[pivotRows[h] * cols + pivotColumns[k]];
      if (above == 0.0f) continue;
      float* target = out.data() + h * width;
      for (size_t j = 0; j < width; ++j) {
        target[j] = sumInOrder(target[j], -productInOrder(above, reduced[j]));
      }
    }
  }
  return out;
}

}  // namespace

ReducedSystem reduceSystem(const Echelon& e, int64_t unknowns) {
  ReducedSystem s;
  for (int64_t c = 0; c < unknowns; ++c) {
    (e.pivotRow(c) >= 0 ? s.pivotColumns : s.freeColumns).push_back(c);
  }
  // The columns that matter: each free unknown's, then the known terms'.
  std::vector<int64_t> columns = s.freeColumns;
  columns.push_back(unknowns);
  const size_t width = columns.size();
  const std::vector<int64_t>& pivots = s.pivotColumns;
  std::vector<int64_t> pivotRows;
  for (int64_t c : pivots) pivotRows.push_back(e.pivotRow(c));
  const std::vector<float> out = backSubstitution(e.values(), e.cols(), pivotRows, pivots, columns);
  std::vector<char> exactlyZero(out.size(), 0);
  if (e.exactValues()) {
    const std::vector<int64_t> first = reduceModulo(e, 0, pivots, columns);
    const std::vector<int64_t> second = reduceModulo(e, 1, pivots, columns);
    for (size_t k = 0; k < out.size(); ++k) exactlyZero[k] = first[k] == 0 && second[k] == 0;
  }
  const size_t frees = s.freeColumns.size();
  for (size_t k = 0; k < pivots.size(); ++k) {
    s.values.push_back(out[k * width + frees]);
    for (size_t j = 0; j < frees; ++j) {
      const size_t at = k * width + j;
      s.coefficients.push_back(out[at]);
      s.coefficientIsZero.push_back(e.exactValues() ? exactlyZero[at] : out[at] == 0.0f);
    }
  }
  return s;
}

std::optional<std::vector<float>> solveByFastReduction(const float* a, int64_t step, const float* b,
                                                       int64_t n) {
  const int64_t side = n + 1;
  if (!exactZerosInUse()) return std::nullopt;
  // Left uninitialised: every element is written, and fresh pages cost
  // their first touch once so.
  const std::unique_ptr<float[]> bordered(new float[static_cast<size_t>(side * side)]);
  float* p = bordered.get();
  auto fillAndSweep = [&] {
    for (int64_t r = 0; r < n; ++r) {
      gather(a + r * n * step, step, n, p + r * side);
      p[r * side + n] = b[r];
    }
    std::fill(p + n * side, p + side * side - 1, 0.0f);
    p[side * side - 1] = 1.0f;
    int sign = 1;
    pivotSweep(p, side, sign);
  };
  fillAndSweep();
  if (!allFinite(p, side) || hasZeroRowOrColumn(p, side)) return std::nullopt;
  Reduction reduction(p, side);
  reduction.stepsForDiagonal(fillAndSweep);
  if (!reduction.diagonalHasNoZero()) return std::nullopt;
  std::vector<int64_t> pivots(static_cast<size_t>(n));
  std::iota(pivots.begin(), pivots.end(), int64_t{0});
  return backSubstitution(p, side, pivots, pivots, {n});
}

}  // namespace trelvo::kernels
