// The determinants of all the minors of a matrix, batched: one minor per
// vector lane, the lanes of the variant in use side by side.
#include <algorithm>
#include <atomic>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/kernels.h"
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

// The steps taken as the plain code takes them, every column and every
// sweep, when a lane meets a zero diagonal entry (integer data meets its
// zeros in the first steps, mostly).
constexpr int64_t kExactStepsOnZero = 3;

// Lanes of the batch, each given one minor to reduce.
struct MinorBatch {
  MinorBatch(int64_t n, int lanes)
      : work(isa::minorWorkFloats(n - 1, lanes)),
        rows(lanes),
        cols(lanes),
        positions(lanes),
        det(lanes) {}
  std::vector<float> work;
  std::vector<int32_t> rows;
  std::vector<int32_t> cols;
  std::vector<int64_t> positions;
  std::vector<float> det;
  int64_t reduced = 0;    // batches so far
  int64_t wentAgain = 0;  // of which went again
};

// Reduces the batch's first `used` lanes, writes their results. Lanes that
// meet a zero diagonal entry go again with their first steps as the plain
// code takes them (where integer data meets its zeros), and those that meet
// one later again with every step so. When many batches have gone again,
// the next ones start with those first steps (a structure shared by many
// minors gives them all the same zero).
void reduceBatch(const isa::Isa& x, const float* a, int64_t n, MinorBatch& batch, int used,
                 float* det) {
  // Idle lanes repeat the first lane's minor.
  std::fill(batch.rows.begin() + used, batch.rows.end(), batch.rows[0]);
  std::fill(batch.cols.begin() + used, batch.cols.end(), batch.cols[0]);
  uint32_t pending = used == 32 ? ~uint32_t{0} : (uint32_t{1} << used) - 1;
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

void minorDeterminantsOfRange(const isa::Isa& x, const float* a, int64_t n, int64_t begin,
                              int64_t end, const ZeroLinesOfMinors& zeroLines, MinorBatch& batch,
                              float* det, uint8_t* reduced) {
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
      reduceBatch(x, a, n, batch, used, det);
      used = 0;
    }
  }
  if (used > 0) reduceBatch(x, a, n, batch, used, det);
}

}  // namespace

namespace blocked {

void minorDeterminants(const float* a, int64_t n, float* det, uint8_t* reduced,
                       const ProgressHook& progress) {
  const isa::Isa& x = activeIsa();
  const int64_t positions = n * n;
  const ZeroLinesOfMinors zeroLines(a, n);
  const int parts = parallel::partsFor(positions * (n - 1) * (n - 1) * (n - 1) / 3);
  std::vector<MinorBatch> batches = parallel::onePerPart<MinorBatch>(parts, n, x.lanes);
  // The parts take a few batches' positions at a time, as they come free:
  // lanes that go again make some batches much longer than others.
  const int64_t chunk = 4 * x.lanes;
  std::atomic<int64_t> next = 0;
  std::atomic<int64_t> done = 0;
  parallel::runParts(parts, [&](int part) {
    for (int64_t begin = next.fetch_add(chunk); begin < positions; begin = next.fetch_add(chunk)) {
      const int64_t end = std::min(begin + chunk, positions);
      minorDeterminantsOfRange(x, a, n, begin, end, zeroLines, batches[part], det, reduced);
      done += end - begin;
      // Part 0 runs on the calling thread.
      if (progress && part == 0) progress(done, positions);
    }
  });
}

}  // namespace blocked
}  // namespace trelvo::kernels
