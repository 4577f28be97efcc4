// The determinant's reduction of one working copy, with the zero test on
// exact values (kernels/exact/exact_zeros.h) on every path.
//
// On a large matrix the steps go in stretches between the sweeps that act.
// The residues of the steps ahead, without exchanges, are taken blocked on
// a copy modulo the first prime: the first value a sweep tests that is zero
// modulo it, and modulo the second too, is an exact zero, and the stretch
// ends before the sweep that meets it. The float steps then run blocked up
// to there, or up to a float zero on the diagonal; the residues of both
// primes take the same steps, blocked, and the plain sweep with the exact
// test acts. As long as no sweep acts, the steps give the floats and the
// residues of the plain code, so the results are its own, bit for bit.
// A sweep after step j looks at the positions from j + 1 on: those before
// it have nothing left to do (see sweepFrom). A zero pivot with nothing
// below it is passed where its step changes nothing, and the stretches go
// on past it; the one-step stretches of small numbers, which meet a zero
// after nearly every early step, are taken without a look ahead.
//
// Most large matrices take a shorter way. The first step and the sweep
// after it are worked out from the entries themselves (kernels/reduction/first_step.h),
// where whole numbers meet their exact zeros most. After it, as long as no
// value a sweep tests is zero modulo the first prime, none is exactly zero
// and only float zeros make a sweep act: the float steps run blocked up to
// each float zero on the diagonal, the residues of the first prime alone
// (one scratch copy) take the same steps beside them, and the sweep there
// exchanges rows of both. At the first zero residue the matrix is put back
// and goes the way above.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "kernels/exact/exact_zeros.h"
#include "kernels/kernels.h"

namespace trelvo::kernels {

class FirstStep;

/// The float steps from `first` on without sweeps, until `limit` or up to
/// the first step after which a sweep would find a zero on the diagonal;
/// returns the steps taken in all. The entries from the column of the last
/// step on end as the plain steps leave them: on the blocked code of the
/// variant in use, those left of it in no particular state; on the plain
/// code, which defines them, every entry.
using FloatSteps = std::function<int64_t(float* a, int64_t n, int64_t first, int64_t limit)>;
int64_t blockedFloatSteps(float* a, int64_t n, int64_t first, int64_t limit);
int64_t plainFloatSteps(float* a, int64_t n, int64_t first, int64_t limit);

class Reduction {
 public:
  /// The reduction of the n x n matrix in `a` (written in place); its exact
  /// values are those of its entries now (none when one is not finite).
  Reduction(float* a, int64_t n);
  /// The same, given the residues of its entries now (exact zeros in use,
  /// every entry finite).
  Reduction(float* a, int64_t n, ExactResidues residues);

  int sign() const { return sign_; }
  /// stepsForDiagonal tells `progress` of the steps it has taken, now and
  /// then (the fast way may tell nothing until it ends).
  void showProgress(ProgressHook progress) { progress_ = std::move(progress); }
  /// The pivot sweep: from the position of the next column step on, the
  /// positions before it having nothing left to do (see sweepFrom).
  void sweep();
  /// The column step j (its elimination; the sweep is apart).
  void columnStep(int64_t j);
  /// All n column steps, each followed by a sweep, for the determinant:
  /// the diagonal and the sign end as those steps leave them; the other
  /// entries may end in no particular state. `restore`, which puts `a` back
  /// as it was at the call, may be called. `floatSteps` takes the float
  /// steps between the sweeps that act.
  /// REQUIRES: a sweep has run since the last change, and no column step.
  void stepsForDiagonal(const std::function<void()>& restore,
                        const FloatSteps& floatSteps = blockedFloatSteps);
  /// The same steps one by one, unblocked: for a small side, or for each of
  /// many minors, which a blocked reduction's set-up would outweigh.
  /// REQUIRES: as stepsForDiagonal.
  void stepsOneByOne();
  /// The sign times the diagonal product, an entry that counts as zero
  /// taken as +0.0. For the last steps of a larger matrix: its diagonal
  /// product so far, from which this one goes on, and the sign of its
  /// exchanges so far.
  float determinant(float productBefore = 1.0f, int signBefore = 1) const;
  /// Whether no diagonal entry counts as zero, after stepsForDiagonal:
  /// whether the determinant is not zero, however small its product.
  bool diagonalHasNoZero() const;
  /// The residues' storage, for another reduction to fill; this one knows
  /// no exact value after it.
  std::pair<std::vector<double>, std::vector<double>> releaseResidues() {
    return std::move(exact_).release();
  }

 private:
  void takeResiduesOfFloats();
  bool stepsWithNoZeroAhead(const std::function<void()>& restore, const FloatSteps& floatSteps);
  bool stepsBesideFirstResidues(double* residues, const FloatSteps& floatSteps);
  bool floatSweepBesideResidues(double* residues);
  int64_t zerosOnDiagonalAfterFirstStep() const;
  void plainStepsFrom(int64_t first);
  void sweepFrom(int64_t first);
  void passStepsBefore(int64_t next);
  bool pivotCountsAsZero(int64_t j) const;
  void zeroPivotStep(int64_t j);
  bool zeroLostBelowZeroPivot() const;
  int64_t oneFloatStep(int64_t j);
  bool stepsRightOfPivotMayDiffer(int64_t done) const;
  void plainStepsAgain(const std::function<void()>& restore, int signAtStart);
  void tellProgress(int64_t steps) const;
  struct ZeroAhead {
    int64_t steps;
    bool lastExactlyZero;
  };
  ZeroAhead zeroAhead(int64_t first) const;

  float* a_;
  int64_t n_;
  int sign_ = 1;
  bool exactValues_;
  // Off until the first column step, or for good once no sweep can act.
  ExactResidues exact_;
  bool residuesTaken_ = false;
  // When the residues are dropped at the end: the last diagonal entry's.
  bool lastExactlyZero_ = false;
  ProgressHook progress_;
  // The copies of the residues that zeroAhead works on: one room for all,
  // whose pages are taken once.
  mutable ExactResidues::Scratch scratch_;
  // The next column step's position; the zero pivots before it, each with
  // nothing below that counted as non-zero at its step.
  int64_t nextStep_ = 0;
  std::vector<int64_t> zeroPivots_;
};

}  // namespace trelvo::kernels
