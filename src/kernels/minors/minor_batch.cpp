#include "kernels/minors/minor_batch.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

#include "kernels/exact/exact_zeros.h"
#include "kernels/exact/modular.h"
#include "kernels/exact/modular_lu.h"
#include "kernels/reduction/exact_reduction.h"

namespace trelvo::kernels::minors {
namespace {

// The steps taken as the plain code takes them, every column and every
// sweep, when a lane meets a zero diagonal entry (integer data meets its
// zeros in the first steps, mostly).
constexpr int64_t kExactStepsOnZero = 3;

// The minor without row i and column j step by step, each on vector code,
// as the plain code takes them; its residues are the whole's.
// REQUIRES: the minor has exact values and no zero line.
float stepByStep(const Minors& m, MinorBatch& batch, int64_t i, int64_t j) {
  batch.makeRoomForMinor(m.n - 1);
  leaveOut(m.a, m.n, m.n, i, j, batch.minor.data());
  leaveOut(m.residues.data(), m.n, m.n, i, j, batch.minorFirst.data());
  leaveOut(m.secondResidues.data(), m.n, m.n, i, j, batch.minorSecond.data());
  return reduceOneByOne(batch, m.n - 1);
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
      x.minorDeterminants(m.a, m.n, batch.rows.data(), batch.cols.data(), 0, 1.0f, batch.work,
                          batch.det.data()) |
      code.minorZeros(m.residues.data(), m.n, batch.rows.data(), batch.cols.data(),
                      batch.residueWork.data(), static_cast<double>(modular::kFirstPrime));
  for (int t = 0; t < used; ++t) {
    if (!(lanes >> t & 1)) continue;
    det[batch.positions[t]] =
        fallback >> t & 1 ? stepByStep(m, batch, batch.rows[t], batch.cols[t]) : batch.det[t];
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
                                                  exactSteps, 1.0f, batch.work, batch.det.data());
    for (int t = 0; t < used; ++t) {
      if ((pending & ~fallback) >> t & 1) det[batch.positions[t]] = batch.det[t];
    }
    pending &= fallback;
    if (pending == 0) return;
    if (exactSteps == 0) ++batch.wentAgain;
  }
}

}  // namespace

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

float reduceOneByOne(MinorBatch& batch, int64_t side, float productBefore, int signBefore) {
  Reduction reduction(
      batch.minor.data(), side,
      ExactResidues(std::move(batch.minorFirst), std::move(batch.minorSecond), side));
  reduction.sweep();
  reduction.stepsOneByOne();
  const float det = reduction.determinant(productBefore, signBefore);
  // The residues' room serves the next minor.
  std::tie(batch.minorFirst, batch.minorSecond) = reduction.releaseResidues();
  return det;
}

uint32_t reduceBlockLanes(const isa::Isa& x, MinorBatch& batch, const float* block,
                          const std::function<const double*()>& blockResidues, int64_t side,
                          float productBefore, std::vector<int32_t>& rows,
                          std::vector<int32_t>& cols, int used, uint32_t exactLanes, float* det) {
  std::fill(rows.begin() + used, rows.end(), rows[0]);
  std::fill(cols.begin() + used, cols.end(), cols[0]);
  uint32_t fallback =
      x.minorDeterminants(block, side, rows.data(), cols.data(), 0, productBefore, batch.work, det);
  // A lane that met a zero already needs no residues.
  if ((exactLanes & ~fallback) != 0) {
    fallback |= exactLanes &
                modular::activeModularCode().minorZeros(blockResidues(), side, rows.data(),
                                                        cols.data(), batch.residueWork.data(),
                                                        static_cast<double>(modular::kFirstPrime));
  }
  return fallback;
}

void reduceAsWholeMinor(const isa::Isa& x, const Minors& m, MinorBatch& batch, int64_t i, int64_t j,
                        bool exact, float* det) {
  if (exact) {
    det[i * m.n + j] = stepByStep(m, batch, i, j);
  } else {
    queueMinor(x, m, batch, i, j, det);
  }
}

}  // namespace trelvo::kernels::minors
