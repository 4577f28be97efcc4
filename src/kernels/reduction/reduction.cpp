#include "kernels/reduction/reduction.h"

#include <algorithm>
#include <functional>

#include "kernels/kernels.h"
#include "kernels/parallel.h"
#include "kernels/product/pack.h"
#include "kernels/reduction/panels.h"
#include "kernels/strict_float.h"

namespace trelvo::kernels {
namespace reduction {
namespace {

// Right of the pivot: each panel first without sweeps, the panel's rows one
// after the other, each a pivot row of the next, then the rows below side by
// side, each taking all the panel's steps in the panel's columns; then the
// waiting terms. When a zero diagonal entry turns up after any step (or is
// there already), the panel's columns are restored and the panel is
// replayed with its sweeps.
class RightOfPivot : public Panels {
  static size_t laneFloats(const isa::Isa& x) { return (3 * kPanel + 1) * x.lanes; }
  static size_t laneBytes(const isa::Isa& x) { return kPanel * x.lanes; }

 public:
  RightOfPivot(const isa::Isa& x, float* a, int64_t n, int& sign)
      : Panels(x, a, n, sign, 2 * n * kPanel),
        laneWork_{std::vector<float>(laneFloats(x)), std::vector<float>(laneFloats(x))},
        laneSkips_{std::vector<uint8_t>(laneBytes(x)), std::vector<uint8_t>(laneBytes(x))} {}

  // From `first` to `limit`, stopping after a step after which a sweep
  // would act; returns the steps taken in all.
  int64_t runWithoutSweeps(int64_t first, int64_t limit) {
    withoutSweeps_ = true;
    limit_ = std::min(limit, n_);
    int64_t j = first;
    while (j < limit_ && stopStep_ == kNone) j = panel(j);
    return stopStep_ == kNone ? std::max(first, limit_) : stopStep_ + 1;
  }

  int64_t run(int64_t exactSteps) {
    int64_t j = everyColumnUpTo(exactSteps);
    if (j >= n_) return kFinished;
    // A zero on the diagonal up to here is met by every later sweep, its
    // row no longer changing.
    if (zeroOnDiagonalIn(0, j)) return n_ - 1;
    while (j < n_ && stopStep_ == kNone) j = panel(j);
    return stopStep_ == kNone ? kFinished : stopStep_;
  }

 private:
  // Returns the next step.
  int64_t panel(int64_t first) {
    startPanel(first, limit_);
    // A panel without zeros leaves none on the diagonal (the rows below
    // kept theirs up to date), so only one after sweeps needs the look.
    if (zeroMayBeOnDiagonal_ && zeroOnDiagonalIn(first_, n_)) return replayWithSweeps();
    zeroMayBeOnDiagonal_ = false;
    keepOrRestore(first_, end_, first_, end_, true);
    for (int64_t j = first_; j < end_; ++j) {
      if (takePanelSteps(j) != kNone) return restoreAndReplay(false);
    }
    if (rowsBelowMeetZero()) return restoreAndReplay(true);
    addWaitingTerms(Columns::kRightOfPivot, end_ - 1);
    return end_;
  }

  // The panel's rows take its steps right of it, then the rows below take
  // them in its columns, side by side; whether one of the latter ends with
  // a zero diagonal entry.
  bool rowsBelowMeetZero() {
    const int64_t rows = n_ - end_;
    const int parts = parallel::partsFor(rows * (n_ - end_) * (end_ - first_));
    const int64_t lanes = x_.lanes;
    bool zeroMet[2] = {false, false};
    parallel::Meeting meeting(parts);
    columnsRight_.reset(n_ - end_);
    rowsBelow_.reset(rows);
    // Whole strips of columns (four vectors), all of them for one part;
    // the rows' groups a few at a time.
    const int64_t strip = 4 * lanes;
    const int64_t leastColumns = parts == 1 ? n_ - end_ : strip;
    parallel::runParts(parts, [&](int part) {
      columnsRight_.eachPiece(
          part, strip, leastColumns, INT64_MAX,
          [&](int64_t left, int64_t right) { bringPanelRowsUpToDate(end_ + left, end_ + right); });
      // The rows below read the panel's rows right of it.
      meeting.meet();
      rowsBelow_.eachPiece(part, lanes, lanes, 8 * lanes, [&](int64_t begin, int64_t end) {
        // Every row is kept, even once a zero is met: all are restored.
        keepOrRestore(end_ + begin, end_ + end, first_, end_, true);
        for (int64_t i = end_ + begin; i < end_ + end && !zeroMet[part]; i += lanes) {
          zeroMet[part] = lanesMeetZero(i, std::min<int64_t>(lanes, end_ + end - i), part);
        }
      });
    });
    return zeroMet[0] || zeroMet[1];
  }

  // The panel's rows take the panel's steps in columns `from` to `to` - 1,
  // right of the panel, and are kept there as they were.
  void bringPanelRowsUpToDate(int64_t from, int64_t to) {
    if (from >= to) return;
    x_.panelRowsUpdate(row(first_) + from, n_, keptAt(first_, from), n_ - first_,
                       static_cast<int>(end_ - first_), factors_ + slot(first_, first_),
                       skips_ + slot(first_, first_), kPanel, to - from);
  }

  // Rows `first` to `first` + `count` - 1 below the panel take its steps in
  // its columns side by side, a row a lane (count <= lanes), keeping their
  // factors; whether one of them ends with a zero diagonal entry.
  bool lanesMeetZero(int64_t first, int64_t count, int part) {
    const int lanes = x_.lanes;
    const int64_t width = end_ - first_;
    float* entries = laneWork_[part].data();
    float* diagonalCopy = entries + kPanel * lanes;
    float* factors = diagonalCopy + kPanel * lanes;
    float* diagonal = factors + kPanel * lanes;
    uint8_t* skips = laneSkips_[part].data();
    // Whole vectors of whole lanes are turned in registers; a partial group
    // goes element by element, the lanes past `count` taking no step: all
    // their entries are zero.
    const bool whole = count == lanes && width % lanes == 0;
    if (whole) {
      x_.lanesFromRows(row(first) + first_, n_, width, entries);
    } else {
      for (int q = 0; q < lanes; ++q) {
        const float* inPanel = row(first + q) + first_;
        for (int64_t c = 0; c < width; ++c) entries[c * lanes + q] = q < count ? inPanel[c] : 0.0f;
      }
    }
    for (int q = 0; q < lanes; ++q) diagonal[q] = q < count ? row(first + q)[first + q] : 1.0f;
    // The pivot rows' entries in the lanes' diagonal columns: read in place
    // for a whole group, copied for a partial one, whose columns may run
    // past the row.
    const float* pivotDiagonal = row(first_) + first;
    int64_t ldd = n_;
    if (count < lanes) {
      for (int64_t c = 0; c < width; ++c) {
        const float* pivot = row(first_ + c) + first;
        float* lane = diagonalCopy + c * lanes;
        std::fill(std::copy(pivot, pivot + count, lane), lane + lanes, 0.0f);
      }
      pivotDiagonal = diagonalCopy;
      ldd = lanes;
    }
    uint32_t zeroMet = x_.panelSteps(entries, diagonal, row(first_) + first_, n_, pivotDiagonal,
                                     ldd, width, factors, skips);
    if (whole) {
      x_.rowsFromLanes(entries, width, row(first) + first_, n_);
      x_.rowsFromLanes(factors, width, factors_ + slot(first, first_), kPanel);
    }
    // As a rule every lane takes every step: then no row has a skip, and
    // the skips need no turning a byte at a time.
    uint8_t* skipsEnd = skips + width * lanes;
    const bool anySkip = std::find(skips, skipsEnd, uint8_t{1}) != skipsEnd;
    // The rows' skips lie a panel's width apart, in one stretch (what lies
    // between them no step reads).
    if (!anySkip) {
      std::fill(skips_ + slot(first, first_), skips_ + slot(first + count - 1, first_) + width,
                uint8_t{0});
    }
    for (int q = 0; q < count; ++q) {
      const int64_t i = first + q;
      // Pointers of its own: a byte store may alias anything, and would
      // make the compiler load every member again after it.
      float* inPanel = row(i) + first_;
      float* rowFactors = factors_ + slot(i, first_);
      uint8_t* rowSkips = skips_ + slot(i, first_);
      for (int64_t c = 0; c < width && !whole; ++c) {
        inPanel[c] = entries[c * lanes + q];
        rowFactors[c] = factors[c * lanes + q];
      }
      for (int64_t c = 0; c < width && anySkip; ++c) rowSkips[c] = skips[c * lanes + q];
      // A zero in the last diagonal entry is met by no sweep.
      if (i == n_ - 1) zeroMet &= ~(uint32_t{1} << q);
    }
    return zeroMet != 0;
  }

  // Before the waiting terms the panel has changed only its own columns and
  // its own rows right of them. Until the rows below take its steps, only
  // its own rows' columns in it are kept and changed.
  int64_t restoreAndReplay(bool rowsBelowTookSteps) {
    keepOrRestore(first_, end_, first_, rowsBelowTookSteps ? n_ : end_, false);
    if (rowsBelowTookSteps) keepOrRestore(end_, n_, first_, end_, false);
    zeroMayBeOnDiagonal_ = true;
    // Then the panel goes again from its start, its waiting terms in one
    // pass, instead of stopping at its first step.
    if (!withoutSweeps_ && sweepBeforeFirstStep()) return first_;
    return replayWithSweeps();
  }

  // Row i's entry in column c after the panel's first step, before it.
  float afterFirstStep(int64_t i, int64_t c) {
    const float* target = row(i);
    const float* pivot = row(first_);
    if (isZero(target[first_])) return target[c];
    const float factor = quotientInOrder(-target[first_], pivot[first_]);
    return sumInOrder(productInOrder(pivot[c], factor), target[c]);
  }

  // The exchanges of the sweep after the panel's first step, made before
  // it, from the values that sweep would test: the step changes each row on
  // its own, from itself and the pivot row, which none of them moves (a
  // random fill of whole numbers often meets a zero right after the first
  // step). Whether it exchanged any rows.
  bool sweepBeforeFirstStep() {
    if (zeroOnDiagonalIn(0, first_ + 1)) return false;
    bool exchanged = false;
    for (int64_t k = first_ + 1; k + 1 < n_; ++k) {
      if (!isZero(afterFirstStep(k, k))) continue;
      for (int64_t p = k + 1; p < n_; ++p) {
        if (isZero(afterFirstStep(p, k))) continue;
        sign_ = -sign_;
        std::swap_ranges(row(k), row(k) + n_, row(p));
        exchanged = true;
      }
    }
    return exchanged;
  }

  // The panel step by step with its sweeps, still right of the pivot; a
  // sweep that would meet a zero at k <= j stops the reduction.
  int64_t replayWithSweeps() {
    const int64_t sweepAfter = stepsUntilSweep(Columns::kRightOfPivot, first_, limit_);
    if (sweepAfter != kNone && withoutSweeps_) {
      addWaitingTerms(Columns::kRightOfPivot, sweepAfter);
      stopStep_ = sweepAfter;
      return n_;
    }
    if (sweepAfter != kNone && zeroOnDiagonalIn(0, sweepAfter + 1)) {
      stopStep_ = sweepAfter;
      return n_;
    }
    return finishPanel(Columns::kRightOfPivot, sweepAfter);
  }

  // Where row i's column c is kept: the panel's rows from its first column
  // on, the rows below in its columns.
  float* keptAt(int64_t i, int64_t c) {
    const int64_t width = end_ - first_;
    const int64_t rowStart =
        i < end_ ? (i - first_) * (n_ - first_) : width * (n_ - first_) + (i - end_) * width;
    return kept_ + rowStart + (c - first_);
  }

  // Rows [fromRow, toRow), columns [fromColumn, toColumn), into their room
  // or back.
  void keepOrRestore(int64_t fromRow, int64_t toRow, int64_t fromColumn, int64_t toColumn,
                     bool keep) {
    for (int64_t i = fromRow; i < toRow; ++i) {
      float* kept = keptAt(i, fromColumn);
      float* inRow = row(i) + fromColumn;
      if (keep) {
        std::copy(inRow, inRow + (toColumn - fromColumn), kept);
      } else {
        std::copy(kept, kept + (toColumn - fromColumn), inRow);
      }
    }
  }

  // The panel's row i takes the panel's steps before it in the panel's
  // columns, keeping its factors; returns the step after which its diagonal
  // entry is zero, if one is (kNone if none). The columns from the panel's
  // first are taken in whole vectors: those left of a step's pivot are
  // never read again.
  int64_t takePanelSteps(int64_t i) {
    float* target = row(i);
    for (int64_t s = first_; s < i; ++s) {
      skips_[slot(i, s)] = isZero(target[s]);
      if (isZero(target[s])) continue;
      const float* pivot = row(s);
      const float factor = quotientInOrder(-target[s], pivot[s]);
      factors_[slot(i, s)] = factor;
      const int64_t from = first_ + (s + 1 - first_) / x_.shape.tileCols * x_.shape.tileCols;
      x_.rowUpdate(target + from, pivot + from, factor, end_ - from);
      if (i + 1 < n_ && isZero(target[i])) return s;
    }
    return kNone;
  }

  bool zeroMayBeOnDiagonal_ = true;
  bool withoutSweeps_ = false;
  int64_t limit_ = n_;
  int64_t stopStep_ = kNone;
  // Handed out to the parts in rowsBelowMeetZero.
  parallel::FromBothEnds columnsRight_;
  parallel::FromBothEnds rowsBelow_;
  // Per part, lanesMeetZero's rows side by side.
  std::vector<float> laneWork_[2];
  std::vector<uint8_t> laneSkips_[2];
};

// Tries of the right-of-pivot mode before every step takes every column.
constexpr int kRightOfPivotTries = 4;

}  // namespace

void everyColumn(const isa::Isa& x, float* a, int64_t n, int& sign) {
  Panels(x, a, n, sign).everyColumnUpTo(n);
}

int64_t rightOfPivot(const isa::Isa& x, float* a, int64_t n, int& sign, int64_t exactSteps) {
  return RightOfPivot(x, a, n, sign).run(exactSteps);
}

int64_t rightOfPivotWithoutSweeps(const isa::Isa& x, float* a, int64_t n, int64_t first,
                                  int64_t limit) {
  int sign = 1;
  return RightOfPivot(x, a, n, sign).runWithoutSweeps(first, limit);
}

}  // namespace reduction

namespace blocked {

void reduceColumns(float* a, int64_t n, int& sign) {
  reduction::everyColumn(activeIsa(), a, n, sign);
}

void reduceDiagonal(float* a, int64_t n, int& sign, const std::function<void()>& restore) {
  // When a sweep would read columns left of the pivot (a zero pivot with
  // nothing below it), again from the start, with every column up to that
  // step; after a few tries, every step so.
  const int signBefore = sign;
  int64_t exactSteps = 0;
  for (int tries = 0; tries < reduction::kRightOfPivotTries; ++tries) {
    const int64_t stopStep = reduction::rightOfPivot(activeIsa(), a, n, sign, exactSteps);
    if (stopStep == reduction::kFinished) return;
    exactSteps = stopStep + 1;
    restore();
    sign = signBefore;
  }
  reduceColumns(a, n, sign);
}

}  // namespace blocked
}  // namespace trelvo::kernels
