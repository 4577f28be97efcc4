// The determinants of all the minors of a matrix, batched: one minor per
// vector lane, the lanes of the variant in use side by side. The minors of
// a row, or of a column, share their first column steps (shared_steps.h);
// each lane takes only the steps left to its minor. Those that meet a zero
// there go on row by row, once the groups are done (swept_minors.h).
#include <algorithm>
#include <atomic>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/exact/modular.h"
#include "kernels/exact/modular_lu.h"
#include "kernels/kernels.h"
#include "kernels/minors/minor_batch.h"
#include "kernels/minors/shared_steps.h"
#include "kernels/minors/swept_minors.h"
#include "kernels/parallel.h"
#include "kernels/strict_float.h"

namespace trelvo::kernels {
namespace {

using minors::flushMinors;
using minors::MinorBatch;
using minors::Minors;
using minors::MinorsWithExactValues;
using minors::queueMinor;
using minors::reduceAsWholeMinor;
using minors::SharedSteps;

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

// What one part of the work keeps: the shared steps, the lanes that go on
// from them, and the batch of whole minors for those that cannot.
struct MinorPart {
  MinorPart(int64_t n, int lanes, bool exactValues)
      : room(2 * SharedSteps::roomFloats(n) + isa::minorWorkFloats(n - 1, lanes)),
        wholeSteps(n, room.data()),
        shared(n, room.data() + SharedSteps::roomFloats(n)),
        whole(n, lanes, exactValues, room.data() + 2 * SharedSteps::roomFloats(n)),
        rows(lanes),
        cols(lanes),
        i(lanes),
        j(lanes),
        det(lanes) {}
  // One block for the shared steps' matrices and the batch's minors: a
  // large page, where each alone would take small ones.
  pack::Scratch<float> room;
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
  // The minors with exact values that met a zero, as i * n + j: they go on
  // row by row once the groups are done (swept_minors.h).
  std::vector<int64_t> swept;
  std::vector<minors::SweptRoom> sweptRooms;
};

// A minor that cannot go on from the shared steps.
void leaveSharedSteps(const isa::Isa& x, const Minors& m, MinorPart& part, int64_t i, int64_t j,
                      bool exact, float* det) {
  if (exact) {
    part.swept.push_back(i * m.n + j);
  } else {
    reduceAsWholeMinor(x, m, part.whole, i, j, false, det);
  }
}

// A group of minors: those of row `line` from column `line` on (byRow), or
// those of column `line` below row `line`.
struct Group {
  bool byRow;
  int64_t line;
  int64_t i(int64_t other) const { return byRow ? line : other; }
  int64_t j(int64_t other) const { return byRow ? other : line; }
};

// The lanes given from the shared state, their last steps. Lanes that meet
// a zero leave the shared steps.
void reduceSharedLanes(const isa::Isa& x, const Minors& m, MinorPart& part, int used, float* det) {
  const int64_t side = m.n - part.shared.steps();
  uint32_t exactLanes = 0;
  for (int t = 0; t < used; ++t) {
    if (m.exactValues.has(part.i[t], part.j[t])) exactLanes |= uint32_t{1} << t;
  }
  MinorBatch& batch = part.whole;
  const uint32_t fallback = reduceBlockLanes(
      x, batch, part.shared.block(), [&] { return part.shared.blockResidues(); }, side,
      part.shared.productBefore(), part.rows, part.cols, used, exactLanes, part.det.data());
  for (int t = 0; t < used; ++t) {
    if (fallback >> t & 1) {
      leaveSharedSteps(x, m, part, part.i[t], part.j[t], exactLanes >> t & 1, det);
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
      leaveSharedSteps(x, m, part, i, j, exact, det);
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

// Reduces the group's minors; returns how many, apart from those left to
// go on row by row.
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
  const auto sweptBefore = static_cast<int64_t>(part.swept.size());
  for (size_t next = 0; next < part.others.size();) {
    next = reduceFromSharedState(x, m, g, part, next, det);
  }
  return n - first - (static_cast<int64_t>(part.swept.size()) - sweptBefore);
}

// The minors of row i that met a zero in the shared steps, by column.
struct SweptRowMinors {
  int64_t i;
  std::vector<int64_t> cols;  // ascending
};

std::vector<SweptRowMinors> sweptRows(const std::vector<MinorPart>& each, int64_t n) {
  std::vector<int64_t> all;
  for (const MinorPart& part : each) all.insert(all.end(), part.swept.begin(), part.swept.end());
  std::sort(all.begin(), all.end());
  std::vector<SweptRowMinors> rows;
  for (int64_t position : all) {
    const int64_t i = position / n;
    if (rows.empty() || rows.back().i != i) rows.push_back({i, {}});
    rows.back().cols.push_back(position % n);
  }
  return rows;
}

void reduceSweptRow(const isa::Isa& x, const Minors& m, MinorPart& part, const SweptRowMinors& row,
                    float* det) {
  if (minors::sweptRowPays(m, row.i, static_cast<int64_t>(row.cols.size()))) {
    return minors::reduceRowWithSweeps(x, m, part.whole, part.sweptRooms, row.i, row.cols, det);
  }
  for (int64_t j : row.cols) reduceAsWholeMinor(x, m, part.whole, row.i, j, true, det);
}

}  // namespace

namespace blocked {

void minorDeterminants(const float* a, int64_t n, float* det, uint8_t* reduced,
                       const ProgressHook& progress) {
  const isa::Isa& x = activeIsa();
  const int64_t positions = n * n;
  const ZeroLinesOfMinors zeroLines(a, n);
  const MinorsWithExactValues exactValues(a, n);
  auto residuesModulo = [&](int64_t prime) {
    return exactValues.any() ? modular::centredResidues(a, n, prime) : std::vector<double>();
  };
  const std::vector<double> residues = residuesModulo(modular::kFirstPrime);
  const std::vector<double> secondResidues = residuesModulo(modular::kSecondPrime);
  const Minors m{a, n, exactValues, residues, secondResidues};
  // The shared steps leave about a tenth of n^2 (n - 1)^3 / 3 multiply-adds
  // (the residues beside them weigh as much again, and more).
  const int parts = parallel::partsFor(positions * (n - 1) * (n - 1) * (n - 1) / 10);
  std::vector<MinorPart> each =
      parallel::onePerPart<MinorPart>(parts, n, x.lanes, exactValues.any());
  // Groups by rows and by columns in turn, the largest first, taken as the
  // parts come free.
  const int64_t groups = 2 * n - 1;
  std::atomic<int64_t> next = 0;
  std::atomic<int64_t> done = 0;
  // Part 0 runs on the calling thread.
  auto tell = [&](int part) {
    if (progress && part == 0 && done > 0) progress(done, positions);
  };
  parallel::runParts(parts, [&](int part) {
    // The groups come in order: each part takes the whole's steps once.
    each[part].wholeSteps.startWhole(m);
    for (int64_t k = next++; k < groups; k = next++) {
      const Group g{k % 2 == 0, k / 2};
      done += reduceGroup(x, m, zeroLines, g, each[part], det, reduced);
      tell(part);
    }
    flushMinors(x, m, each[part].whole, det);
  });
  const std::vector<SweptRowMinors> rows = sweptRows(each, n);
  if (rows.empty()) return;
  std::atomic<size_t> nextRow = 0;
  parallel::runParts(parts, [&](int part) {
    for (size_t r = nextRow++; r < rows.size(); r = nextRow++) {
      reduceSweptRow(x, m, each[part], rows[r], det);
      done += static_cast<int64_t>(rows[r].cols.size());
      tell(part);
    }
  });
}

}  // namespace blocked
}  // namespace trelvo::kernels
