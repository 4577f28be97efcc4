// The determinants of all the minors of a matrix, batched: one minor per
// vector lane, the lanes of the variant in use side by side.
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

// Lanes of the batch, each given one minor to reduce.
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

// Lane t's minor step by step, each on vector code, as the plain code
// takes them. REQUIRES: the minor has no zero line (it went to the lanes).
float stepByStep(const Minors& m, MinorBatch& batch, int t) {
  const int64_t side = m.n - 1;
  float* minor = batch.minor.data();
  for (int64_t p = 0, k = 0; p < m.n; ++p) {
    if (p == batch.rows[t]) continue;
    for (int64_t q = 0; q < m.n; ++q) {
      if (q != batch.cols[t]) minor[k++] = m.a[p * m.n + q];
    }
  }
  Reduction reduction(minor, side);
  reduction.sweep();
  for (int64_t j = 0; j < side; ++j) {
    reduction.columnStep(j);
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
      x.minorDeterminants(m.a, m.n, batch.rows.data(), batch.cols.data(), 0, batch.work.data(),
                          batch.det.data()) |
      code.minorZeros(m.residues.data(), m.n, batch.rows.data(), batch.cols.data(),
                      batch.residueWork.data(), static_cast<double>(modular::kFirstPrime));
  for (int t = 0; t < used; ++t) {
    if (!(lanes >> t & 1)) continue;
    det[batch.positions[t]] = fallback >> t & 1 ? stepByStep(m, batch, t) : batch.det[t];
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
                                                  exactSteps, batch.work.data(), batch.det.data());
    for (int t = 0; t < used; ++t) {
      if ((pending & ~fallback) >> t & 1) det[batch.positions[t]] = batch.det[t];
    }
    pending &= fallback;
    if (pending == 0) return;
    if (exactSteps == 0) ++batch.wentAgain;
  }
}

void minorDeterminantsOfRange(const isa::Isa& x, const Minors& m, int64_t begin, int64_t end,
                              const ZeroLinesOfMinors& zeroLines, MinorBatch& batch, float* det,
                              uint8_t* reduced) {
  const int64_t n = m.n;
  int used = 0;
  for (int64_t position = begin; position < end; ++position) {
    const int64_t i = position / n;
    const int64_t j = position % n;
    reduced[position] = !zeroLines.minorHasOne(i, j);
    if (!reduced[position]) {
      det[position] = 0.0f;
      continue;
    }
    batch.rows[used] = static_cast<int32_t>(i);
    batch.cols[used] = static_cast<int32_t>(j);
    batch.positions[used++] = position;
    if (used == x.lanes) {
      reduceBatch(x, m, batch, used, det);
      used = 0;
    }
  }
  if (used > 0) reduceBatch(x, m, batch, used, det);
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
  const int parts = parallel::partsFor(positions * (n - 1) * (n - 1) * (n - 1) / 3);
  std::vector<MinorBatch> batches =
      parallel::onePerPart<MinorBatch>(parts, n, x.lanes, exactValues.any());
  // The parts take a few batches' positions at a time, as they come free:
  // lanes that go again make some batches much longer than others.
  const int64_t chunk = 4 * x.lanes;
  std::atomic<int64_t> next = 0;
  std::atomic<int64_t> done = 0;
  parallel::runParts(parts, [&](int part) {
    for (int64_t begin = next.fetch_add(chunk); begin < positions; begin = next.fetch_add(chunk)) {
      const int64_t end = std::min(begin + chunk, positions);
      minorDeterminantsOfRange(x, m, begin, end, zeroLines, batches[part], det, reduced);
      done += end - begin;
      // Part 0 runs on the calling thread.
      if (progress && part == 0) progress(done, positions);
    }
  });
}

}  // namespace blocked
}  // namespace trelvo::kernels
