// The determinants of all the minors of a matrix, batched: one minor per
// vector lane, the lanes of the variant in use side by side. The minors of
// a row, or of a column, share their first column steps (see SharedSteps
// below); each lane takes only the steps left to its minor.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/exact_reduction.h"
#include "kernels/exact_zeros.h"
#include "kernels/kernels.h"
#include "kernels/modular.h"
#include "kernels/modular_lu.h"
#include "kernels/parallel.h"
#include "kernels/strict_float.h"

namespace trelvo::kernels {
namespace {

// Which minors have an all-zero row or column, read from the zeros of the
// whole matrix: a row of the minor without column j is all zero when its
// row of the matrix has no non-zero entry, or only one, in column j (and
// the same for columns).
class ZeroLinesOfMinors {
 public:
  ZeroLinesOfMinors(const float* a, int64_t n) : rows_(a, n, n, 1), cols_(a, n, 1, n) {}

  bool minorHasOne(int64_t i, int64_t j) const {
    return rows_.zeroWithout(i, j) || cols_.zeroWithout(j, i);
  }

 private:
  struct Lines {
    Lines(const float* a, int64_t n, int64_t lineStep, int64_t entryStep)
        : nonZeros(n), onlyNonZero(n, -1), singlesAt(n) {
      for (int64_t line = 0; line < n; ++line) {
        for (int64_t e = 0; e < n; ++e) {
          if (isZero(a[line * lineStep + e * entryStep])) continue;
          ++nonZeros[line];
          onlyNonZero[line] = e;
        }
        if (nonZeros[line] == 0) ++zeroLines;
        if (nonZeros[line] == 1) ++singlesAt[onlyNonZero[line]];
      }
    }

    // Whether a line other than `line` is all zero without entry `entry`.
    bool zeroWithout(int64_t line, int64_t entry) const {
      const bool single = nonZeros[line] == 1 && onlyNonZero[line] == entry;
      return zeroLines - (nonZeros[line] == 0) > 0 || singlesAt[entry] - single > 0;
    }

    std::vector<int64_t> nonZeros;     // per line
    std::vector<int64_t> onlyNonZero;  // per line, its last non-zero entry
    std::vector<int64_t> singlesAt;    // per entry, the lines whose only non-zero it is
    int64_t zeroLines = 0;
  };

  Lines rows_;
  Lines cols_;
};

// Which minors have exact values (kernels/exact_zeros.h): those without an
// infinite or NaN entry, when exact zeros are in use.
class MinorsWithExactValues {
 public:
  MinorsWithExactValues(const float* a, int64_t n)
      : a_(a), n_(n), inRow_(n), inColumn_(n), inUse_(exactZerosInUse()) {
    for (int64_t k = 0; k < n * n && inUse_; ++k) {
      if (std::isfinite(a[k])) continue;
      ++inRow_[k / n];
      ++inColumn_[k % n];
      ++notFinite_;
    }
  }

  bool any() const { return inUse_ && notFinite_ < 2 * n_; }
  bool has(int64_t i, int64_t j) const {
    const int64_t crossing = std::isfinite(a_[i * n_ + j]) ? 0 : 1;
    return inUse_ && notFinite_ - inRow_[i] - inColumn_[j] + crossing == 0;
  }

 private:
  const float* a_;
  int64_t n_;
  std::vector<int64_t> inRow_;     // entries not finite, per row
  std::vector<int64_t> inColumn_;  // and per column
  int64_t notFinite_ = 0;
  bool inUse_;
};

// The steps taken as the plain code takes them, every column and every
// sweep, when a lane meets a zero diagonal entry (integer data meets its
// zeros in the first steps, mostly).
constexpr int64_t kExactStepsOnZero = 3;

// Lanes of the batch, each given one minor of the whole matrix to reduce.
struct MinorBatch {
  MinorBatch(int64_t n, int lanes, bool exactValues)
      : work(isa::minorWorkFloats(n - 1, lanes)),
        residueWork(exactValues ? (n - 1) * (n - 1) * lanes : 0),
        minor((n - 1) * (n - 1)),
        rows(lanes),
        cols(lanes),
        positions(lanes),
        det(lanes) {}
  std::vector<float> work;
  std::vector<double> residueWork;
  std::vector<float> minor;  // one minor, for the plain code
  std::vector<int32_t> rows;
  std::vector<int32_t> cols;
  std::vector<int64_t> positions;
  std::vector<float> det;
  int used = 0;           // lanes given a minor
  int64_t reduced = 0;    // batches so far
  int64_t wentAgain = 0;  // of which went again
};

// What every batch reads: the matrix, and the residues of its entries
// modulo the first prime for the minors with exact values.
struct Minors {
  const float* a;
  int64_t n;
  const MinorsWithExactValues& exactValues;
  const std::vector<double>& residues;
};

// The minor without row i and column j step by step, each on vector code,
// as the plain code takes them. REQUIRES: the minor has no zero line.
float stepByStep(const Minors& m, std::vector<float>& minor, int64_t i, int64_t j) {
  const int64_t side = m.n - 1;
  for (int64_t p = 0, k = 0; p < m.n; ++p) {
    if (p == i) continue;
    for (int64_t q = 0; q < m.n; ++q) {
      if (q != j) minor[k++] = m.a[p * m.n + q];
    }
  }
  Reduction reduction(minor.data(), side);
  reduction.sweep();
  for (int64_t k = 0; k < side; ++k) {
    reduction.columnStep(k);
    reduction.sweep();
  }
  return reduction.determinant();
}

// The lanes whose minors have exact values: the float steps without
// exchanges, and beside them their residues. A lane that meets a zero on
// the diagonal, or a tested value that is zero modulo the first prime
// (where the exact test might act), takes the plain code. Returns those
// lanes, all written.
uint32_t reduceLanesWithExactValues(const isa::Isa& x, const Minors& m, MinorBatch& batch, int used,
                                    float* det) {
  uint32_t lanes = 0;
  for (int t = 0; t < used; ++t) {
    if (m.exactValues.has(batch.rows[t], batch.cols[t])) lanes |= uint32_t{1} << t;
  }
  if (lanes == 0) return 0;
  const modular::ModularCode& code = modular::activeModularCode();
  const uint32_t fallback =
      x.minorDeterminants(m.a, m.n, batch.rows.data(), batch.cols.data(), 0, 1.0f,
                          batch.work.data(), batch.det.data()) |
      code.minorZeros(m.residues.data(), m.n, batch.rows.data(), batch.cols.data(),
                      batch.residueWork.data(), static_cast<double>(modular::kFirstPrime));
  for (int t = 0; t < used; ++t) {
    if (!(lanes >> t & 1)) continue;
    det[batch.positions[t]] = fallback >> t & 1
                                  ? stepByStep(m, batch.minor, batch.rows[t], batch.cols[t])
                                  : batch.det[t];
  }
  return lanes;
}

// Reduces the batch's first `used` lanes, writes their results. Lanes that
// meet a zero diagonal entry go again with their first steps as the plain
// code takes them (where integer data meets its zeros), and those that meet
// one later again with every step so. When many batches have gone again,
// the next ones start with those first steps (a structure shared by many
// minors gives them all the same zero).
void reduceBatch(const isa::Isa& x, const Minors& m, MinorBatch& batch, int used, float* det) {
  const float* a = m.a;
  const int64_t n = m.n;
  // Idle lanes repeat the first lane's minor.
  std::fill(batch.rows.begin() + used, batch.rows.end(), batch.rows[0]);
  std::fill(batch.cols.begin() + used, batch.cols.end(), batch.cols[0]);
  uint32_t pending = used == 32 ? ~uint32_t{0} : (uint32_t{1} << used) - 1;
  pending &= ~reduceLanesWithExactValues(x, m, batch, used, det);
  if (pending == 0) return;
  const bool exactFirst = batch.wentAgain * 8 > batch.reduced;
  ++batch.reduced;
  const int64_t tries[] = {exactFirst ? kExactStepsOnZero : 0, kExactStepsOnZero, n - 1};
  for (int k = 0; k < 3; ++k) {
    const int64_t exactSteps = tries[k];
    if (k > 0 && exactSteps == tries[k - 1]) continue;
    const uint32_t fallback = x.minorDeterminants(a, n, batch.rows.data(), batch.cols.data(),
                                                  exactSteps, 1.0f, batch.work.data(),
                                                  batch.det.data());
    for (int t = 0; t < used; ++t) {
      if ((pending & ~fallback) >> t & 1) det[batch.positions[t]] = batch.det[t];
    }
    pending &= fallback;
    if (pending == 0) return;
    if (exactSteps == 0) ++batch.wentAgain;
  }
}

// The minor without row i and column j into the batch, reduced with the
// others when the lanes are full.
void queueMinor(const isa::Isa& x, const Minors& m, MinorBatch& batch, int64_t i, int64_t j,
                float* det) {
  batch.rows[batch.used] = static_cast<int32_t>(i);
  batch.cols[batch.used] = static_cast<int32_t>(j);
  batch.positions[batch.used++] = i * m.n + j;
  if (batch.used < x.lanes) return;
  reduceBatch(x, m, batch, batch.used, det);
  batch.used = 0;
}

void flushMinors(const isa::Isa& x, const Minors& m, MinorBatch& batch, float* det) {
  if (batch.used > 0) reduceBatch(x, m, batch, batch.used, det);
  batch.used = 0;
}

// A minor that meets a zero where it would share steps: with exact values,
// the plain code (the same zero would send it from the lanes of whole
// minors too); otherwise the lanes of whole minors.
void reduceAsWholeMinor(const isa::Isa& x, const Minors& m, MinorBatch& batch, int64_t i, int64_t j,
                        bool exact, float* det) {
  if (exact) {
    det[i * m.n + j] = stepByStep(m, batch.minor, i, j);
  } else {
    queueMinor(x, m, batch, i, j, det);
  }
}

// ---------------------------------------------------------------------------
// Steps shared between minors.
//
// Without exchanges, the minor without row i and column j takes its first
// j column steps as the matrix without row i takes them: a step updates
// each entry from itself, its row's entry in the pivot column and the
// pivot row, none of them in column j while the pivot is left of it. After
// k <= j steps the minor is that matrix's state without column j, bit for
// bit. Likewise its first i steps are those of the matrix without column
// j, row i left out. So the minors of row i from column i on share the
// steps of the matrix without row i, those of column j below row j the
// steps of the matrix without column j, and each takes only its last steps
// on its own, from the shared state.
//
// The minor's diagonal is, in the shared state, the diagonal before its
// left-out line and the entries beside it (right of it, or below it) from
// there on. A minor takes the shared steps only when none of the values its
// sweeps would have tested there was zero (nor, with exact values, zero
// modulo the first prime); otherwise it goes the way of a whole minor.

// The whole matrix, or the matrix without one of its rows or columns,
// through its column steps without exchanges, with its residues modulo the
// first prime when some minor has exact values; and which of the values on
// its diagonal and beside it have been zero so far. The first steps of the
// matrix without row or column `line` are those of the whole: it starts
// from them.
class SharedSteps {
 public:
  explicit SharedSteps(int64_t n)
      : n_(n), a_(n * n), residues_(n * n), zeros_(3 * n), block_(n * n), blockResidues_(n * n) {}

  /// The whole matrix, before any step.
  void startWhole(const Minors& m);
  /// The matrix without row `line` (byRow) or without column `line`, from
  /// the state of the whole after min(line, n - 3) steps.
  void startWithout(const SharedSteps& whole, bool byRow, int64_t line);
  /// Takes the steps up to `steps` in all.
  void advanceTo(const isa::Isa& x, int64_t steps);
  int64_t steps() const { return steps_; }
  /// Whether a value tested so far is zero for the minor that leaves out
  /// line `other` too (its column when byRow, else its row); also zero
  /// modulo the first prime with `exact`. REQUIRES: other >= steps().
  bool metZero(int64_t other, bool exact) const;
  /// The product of the diagonal entries left of the steps to come.
  float productBefore() const { return before_; }
  /// The entries from the steps to come on, square (side n - steps()): the
  /// missing row, or column, last and zero.
  const float* block();
  const double* blockResidues();

 private:
  static constexpr uint8_t kFloatZero = 1;
  static constexpr uint8_t kResidueZero = 2;
  // Where the zeros of entry (r, r), (r + 1, r) and (r, r + 1) are kept.
  enum Place { kDiagonal = 0, kBelow = 1, kRight = 2 };

  uint8_t& zeros(Place place, int64_t r) { return zeros_[place * n_ + r]; }
  uint8_t zeros(Place place, int64_t r) const { return zeros_[place * n_ + r]; }
  void step(const isa::Isa& x, int64_t s);
  void stepResidues(int64_t s);
  uint8_t zeroAt(int64_t r, int64_t c) const;
  void testFrom(int64_t first);
  void zerosWithout(const SharedSteps& whole, int64_t line);
  template <class T>
  void copyBlock(const std::vector<T>& from, std::vector<T>& to) const;

  int64_t n_;
  bool byRow_ = true;
  int64_t rows_ = 0;
  int64_t cols_ = 0;
  int64_t steps_ = 0;
  float before_ = 1.0f;
  bool withResidues_ = false;
  std::vector<float> a_;
  std::vector<double> residues_;
  // Per place and position r, whether the entry has been zero.
  std::vector<uint8_t> zeros_;
  std::vector<float> block_;
  std::vector<double> blockResidues_;
};

void SharedSteps::startWhole(const Minors& m) {
  rows_ = cols_ = n_;
  steps_ = 0;
  before_ = 1.0f;
  withResidues_ = !m.residues.empty();
  std::copy(m.a, m.a + n_ * n_, a_.begin());
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
  // Only the entries from the steps on are read again.
  for (int64_t r = steps_; r < rows_; ++r) {
    const int64_t fromRow = r + (byRow && r >= line);
    for (int64_t c = steps_; c < cols_; ++c) {
      const int64_t from = fromRow * n_ + c + (!byRow && c >= line);
      a_[r * cols_ + c] = whole.a_[from];
      if (withResidues_) residues_[r * cols_ + c] = whole.residues_[from];
    }
  }
  zerosWithout(whole, line);
}

// The zeros met so far, read from the whole's: its row r + 1 is row r here
// from row `line` on (byRow), or its column c + 1 column c from `line` on.
void SharedSteps::zerosWithout(const SharedSteps& whole, int64_t line) {
  for (int64_t r = 0; r + 2 < n_; ++r) {
    const bool before = r < line;
    zeros(kDiagonal, r) = before ? whole.zeros(kDiagonal, r) : whole.zeros(byRow_ ? kBelow : kRight, r);
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
  const float* pivot = a_.data() + s * cols_;
  for (int64_t r = s + 1; r < rows_; ++r) {
    float* row = a_.data() + r * cols_;
    if (isZero(row[s])) continue;
    const float factor = quotientInOrder(-row[s], pivot[s]);
    x.rowUpdate(row + s + 1, pivot + s + 1, factor, cols_ - s - 1);
  }
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

uint8_t SharedSteps::zeroAt(int64_t r, int64_t c) const {
  const int64_t k = r * cols_ + c;
  const bool residueZero = withResidues_ && residues_[k] == 0.0;
  return (isZero(a_[k]) ? kFloatZero : 0) | (residueZero ? kResidueZero : 0);
}

// The sweeps test the diagonal up to n - 3 of a minor, which is n - 1
// square: up to n - 2 here, and beside it up to n - 3.
void SharedSteps::testFrom(int64_t first) {
  for (int64_t r = first; r + 1 < n_ && r < rows_ && r < cols_; ++r) {
    zeros(kDiagonal, r) |= zeroAt(r, r);
    if (r + 2 >= n_) continue;
    if (r + 1 < rows_) zeros(kBelow, r) |= zeroAt(r + 1, r);
    if (r + 1 < cols_) zeros(kRight, r) |= zeroAt(r, r + 1);
  }
}

bool SharedSteps::metZero(int64_t other, bool exact) const {
  const uint8_t zero = exact ? kFloatZero | kResidueZero : kFloatZero;
  for (int64_t r = 0; r < other && r + 2 < n_; ++r) {
    if (zeros(kDiagonal, r) & zero) return true;
  }
  const Place beside = byRow_ ? kRight : kBelow;
  for (int64_t r = other; r + 2 < n_; ++r) {
    if (zeros(beside, r) & zero) return true;
  }
  return false;
}

template <class T>
void SharedSteps::copyBlock(const std::vector<T>& from, std::vector<T>& to) const {
  const int64_t side = n_ - steps_;
  for (int64_t r = 0; r < side; ++r) {
    for (int64_t c = 0; c < side; ++c) {
      const bool inside = steps_ + r < rows_ && steps_ + c < cols_;
      to[r * side + c] = inside ? from[(steps_ + r) * cols_ + steps_ + c] : T{};
    }
  }
}

const float* SharedSteps::block() {
  copyBlock(a_, block_);
  return block_.data();
}

const double* SharedSteps::blockResidues() {
  copyBlock(residues_, blockResidues_);
  return blockResidues_.data();
}

// What one part of the work keeps: the shared steps, the lanes that go on
// from them, and the batch of whole minors for those that cannot.
struct MinorPart {
  MinorPart(int64_t n, int lanes, bool exactValues)
      : wholeSteps(n), shared(n), whole(n, lanes, exactValues), rows(lanes), cols(lanes), i(lanes),
        j(lanes), det(lanes) {}
  SharedSteps wholeSteps;  // the first steps of every group's matrix
  SharedSteps shared;
  MinorBatch whole;
  std::vector<int32_t> rows;  // of the block, per lane
  std::vector<int32_t> cols;
  std::vector<int64_t> i;  // of the whole, per lane
  std::vector<int64_t> j;
  // Apart from the whole minors' (their batch may go while these are read).
  std::vector<float> det;
  std::vector<int64_t> others;  // the group's left-out lines, ascending
};

// A group of minors: those of row `line` from column `line` on (byRow), or
// those of column `line` below row `line`.
struct Group {
  bool byRow;
  int64_t line;
  int64_t i(int64_t other) const { return byRow ? line : other; }
  int64_t j(int64_t other) const { return byRow ? other : line; }
};

// The lanes given from the shared state, their last steps. Lanes that meet
// a zero go the way of whole minors.
void reduceSharedLanes(const isa::Isa& x, const Minors& m, MinorPart& part, int used, float* det) {
  const int64_t side = m.n - part.shared.steps();
  std::fill(part.rows.begin() + used, part.rows.end(), part.rows[0]);
  std::fill(part.cols.begin() + used, part.cols.end(), part.cols[0]);
  uint32_t exactLanes = 0;
  for (int t = 0; t < used; ++t) {
    if (m.exactValues.has(part.i[t], part.j[t])) exactLanes |= uint32_t{1} << t;
  }
  MinorBatch& batch = part.whole;
  uint32_t fallback =
      x.minorDeterminants(part.shared.block(), side, part.rows.data(), part.cols.data(), 0,
                          part.shared.productBefore(), batch.work.data(), part.det.data());
  if (exactLanes != 0) {
    fallback |= exactLanes & modular::activeModularCode().minorZeros(
                                 part.shared.blockResidues(), side, part.rows.data(),
                                 part.cols.data(), batch.residueWork.data(),
                                 static_cast<double>(modular::kFirstPrime));
  }
  for (int t = 0; t < used; ++t) {
    if (fallback >> t & 1) {
      reduceAsWholeMinor(x, m, batch, part.i[t], part.j[t], exactLanes >> t & 1, det);
    } else {
      det[part.i[t] * m.n + part.j[t]] = part.det[t];
    }
  }
}

// The group's minors whose lanes go on from `steps` shared steps, from
// others[next] on; returns where the next lanes start.
size_t reduceFromSharedState(const isa::Isa& x, const Minors& m, const Group& g, MinorPart& part,
                             size_t next, float* det) {
  // The block left for the lanes has a side of at least 2.
  part.shared.advanceTo(x, std::min(part.others[next], m.n - 3));
  const int64_t steps = part.shared.steps();
  const auto last = static_cast<int32_t>(m.n - steps - 1);
  int used = 0;
  for (; next < part.others.size() && used < x.lanes; ++next) {
    const int64_t other = part.others[next];
    const int64_t i = g.i(other);
    const int64_t j = g.j(other);
    const bool exact = m.exactValues.has(i, j);
    if (part.shared.metZero(other, exact)) {
      reduceAsWholeMinor(x, m, part.whole, i, j, exact, det);
      continue;
    }
    part.rows[used] = g.byRow ? last : static_cast<int32_t>(other - steps);
    part.cols[used] = g.byRow ? static_cast<int32_t>(other - steps) : last;
    part.i[used] = i;
    part.j[used++] = j;
  }
  if (used > 0) reduceSharedLanes(x, m, part, used, det);
  return next;
}

// Reduces the group's minors; returns how many there are.
int64_t reduceGroup(const isa::Isa& x, const Minors& m, const ZeroLinesOfMinors& zeroLines,
                    const Group& g, MinorPart& part, float* det, uint8_t* reduced) {
  const int64_t n = m.n;
  const int64_t first = g.byRow ? g.line : g.line + 1;
  part.others.clear();
  for (int64_t other = first; other < n; ++other) {
    const int64_t position = g.i(other) * n + g.j(other);
    reduced[position] = !zeroLines.minorHasOne(g.i(other), g.j(other));
    if (!reduced[position]) {
      det[position] = 0.0f;
    } else if (n < 3) {
      queueMinor(x, m, part.whole, g.i(other), g.j(other), det);
    } else {
      part.others.push_back(other);
    }
  }
  if (part.others.empty()) return n - first;
  part.wholeSteps.advanceTo(x, std::min(g.line, n - 3));
  part.shared.startWithout(part.wholeSteps, g.byRow, g.line);
  for (size_t next = 0; next < part.others.size();) {
    next = reduceFromSharedState(x, m, g, part, next, det);
  }
  return n - first;
}

}  // namespace

namespace blocked {

void minorDeterminants(const float* a, int64_t n, float* det, uint8_t* reduced,
                       const ProgressHook& progress) {
  const isa::Isa& x = activeIsa();
  const int64_t positions = n * n;
  const ZeroLinesOfMinors zeroLines(a, n);
  const MinorsWithExactValues exactValues(a, n);
  const std::vector<double> residues = exactValues.any()
                                           ? modular::centredResidues(a, n, modular::kFirstPrime)
                                           : std::vector<double>();
  const Minors m{a, n, exactValues, residues};
  // The shared steps leave about a tenth of n^2 (n - 1)^3 / 3 multiply-adds
  // (the residues beside them weigh as much again, and more).
  const int parts = parallel::partsFor(positions * (n - 1) * (n - 1) * (n - 1) / 10);
  std::vector<MinorPart> each = parallel::onePerPart<MinorPart>(parts, n, x.lanes, exactValues.any());
  // Groups by rows and by columns in turn, the largest first, taken as the
  // parts come free.
  const int64_t groups = 2 * n - 1;
  std::atomic<int64_t> next = 0;
  std::atomic<int64_t> done = 0;
  parallel::runParts(parts, [&](int part) {
    // The groups come in order: each part takes the whole's steps once.
    each[part].wholeSteps.startWhole(m);
    for (int64_t k = next++; k < groups; k = next++) {
      const Group g{k % 2 == 0, k / 2};
      done += reduceGroup(x, m, zeroLines, g, each[part], det, reduced);
      // Part 0 runs on the calling thread.
      if (progress && part == 0) progress(done, positions);
    }
    flushMinors(x, m, each[part].whole, det);
  });
}

}  // namespace blocked
}  // namespace trelvo::kernels
