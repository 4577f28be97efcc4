// minors/: the determinants of all the minors of a matrix, for the
// inverse. minors.cpp takes them by rows and columns; shared_steps.* the
// first steps the minors of a row or a column share; swept_minors.* the
// minors of a row whose sweeps act, in sets that decide alike; and
// minor_batch.* the minors taken whole, one per vector lane.
//
// The minors of a matrix taken whole, a batch of them side by side, one
// per vector lane: the way of a minor that cannot go on from shared steps
// (see shared_steps.h), and of every minor of a matrix too small to share.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/exact/exact_zeros.h"
#include "kernels/product/pack.h"

namespace trelvo::kernels::minors {

// Which minors have exact values (kernels/exact/exact_zeros.h): those without an
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
  /// Whether every entry outside row i is finite.
  bool finiteWithoutRow(int64_t i) const { return notFinite_ == inRow_[i]; }
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

// Lanes of the batch, each given one minor of the whole matrix to reduce.
struct MinorBatch {
  /// `room`: isa::minorWorkFloats(n - 1, lanes) floats for `work`.
  MinorBatch(int64_t n, int lanes, bool exactValues, float* room)
      : work(room),
        residueWork(exactValues ? (n - 1) * (n - 1) * lanes : 0),
        rows(lanes),
        cols(lanes),
        positions(lanes),
        det(lanes) {}
  // Left unset: a batch writes what it reads, and a batch of small minors
  // touches only the start, sparing the rest its fresh pages.
  float* work;
  pack::Scratch<double> residueWork;
  // One minor for the plain code, and its residues modulo each prime: made
  // when first needed, most inverses never need them.
  std::vector<float> minor;
  std::vector<double> minorFirst;
  std::vector<double> minorSecond;
  void makeRoomForMinor(int64_t side) {
    minor.resize(side * side);
    minorFirst.resize(side * side);
    minorSecond.resize(side * side);
  }
  std::vector<int32_t> rows;
  std::vector<int32_t> cols;
  std::vector<int64_t> positions;
  std::vector<float> det;
  int used = 0;           // lanes given a minor
  int64_t reduced = 0;    // batches so far
  int64_t wentAgain = 0;  // of which went again
};

// What every batch reads: the matrix, and the residues of its entries
// modulo the first prime and the second for the minors with exact values.
struct Minors {
  const float* a;
  int64_t n;
  const MinorsWithExactValues& exactValues;
  const std::vector<double>& residues;
  const std::vector<double>& secondResidues;
};

/// The side x side matrix at `whole` (rows `stride` apart) without its row
/// i and column j, row-major into `minor`.
template <class T>
void leaveOut(const T* whole, int64_t stride, int64_t side, int64_t i, int64_t j, T* minor) {
  for (int64_t p = 0; p < side; ++p) {
    if (p == i) continue;
    const T* row = whole + p * stride;
    minor = std::copy(row + j + 1, row + side, std::copy(row, row + j, minor));
  }
}

/// The determinant of the side x side minor in batch.minor, its residues in
/// batch.minorFirst and batch.minorSecond (each sized by makeRoomForMinor),
/// one step at a time as the plain code takes them; for the last steps of
/// a larger matrix, going on from its diagonal product and sign so far.
float reduceOneByOne(MinorBatch& batch, int64_t side, float productBefore = 1.0f,
                     int signBefore = 1);

/// The minor without row i and column j into the batch, reduced with the
/// others when the lanes are full; its determinant goes to det[i * n + j].
void queueMinor(const isa::Isa& x, const Minors& m, MinorBatch& batch, int64_t i, int64_t j,
                float* det);
/// Reduces the minors still waiting in the batch.
void flushMinors(const isa::Isa& x, const Minors& m, MinorBatch& batch, float* det);
/// The minors of the side x side `block` without row rows[t] and column
/// cols[t], one per lane for t < used (the lanes beyond repeat lane 0),
/// their steps without exchanges, each diagonal product going on from
/// `productBefore`; the lanes in `exactLanes` also with the first prime's
/// residues of the block, which `blockResidues` gives when asked. Returns
/// the lanes that met a zero (their det not valid); the others' det[t].
uint32_t reduceBlockLanes(const isa::Isa& x, MinorBatch& batch, const float* block,
                          const std::function<const double*()>& blockResidues, int64_t side,
                          float productBefore, std::vector<int32_t>& rows,
                          std::vector<int32_t>& cols, int used, uint32_t exactLanes, float* det);
/// A minor that meets a zero where it would share steps: with exact values,
/// the plain code (the same zero would send it from the lanes of whole
/// minors too); otherwise the lanes of whole minors.
void reduceAsWholeMinor(const isa::Isa& x, const Minors& m, MinorBatch& batch, int64_t i, int64_t j,
                        bool exact, float* det);

}  // namespace trelvo::kernels::minors
