#include "kernels/reduction/exact_reduction.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/exact/modular.h"
#include "kernels/exact/modular_lu.h"
#include "kernels/kernels.h"
#include "kernels/reduction/first_step.h"
#include "kernels/reduction/reduction.h"
#include "kernels/reference.h"
#include "kernels/strict_float.h"

namespace trelvo::kernels {
namespace {

// Below this side the plain steps are as fast.
constexpr int64_t kBlockedSide = 48;

bool contains(const std::vector<modular::TestedValue>& values, const modular::TestedValue& v) {
  return std::find(values.begin(), values.end(), v) != values.end();
}

}  // namespace

Reduction::Reduction(float* a, int64_t n)
    : a_(a), n_(n), exactValues_(exactZerosInUse() && allFinite(a, n)) {}

Reduction::Reduction(float* a, int64_t n, ExactResidues residues)
    : a_(a), n_(n), exactValues_(true), exact_(std::move(residues)), residuesTaken_(true) {}

void Reduction::sweep() { sweepFrom(nextStep_); }

// After column step j the sweep's positions up to j have nothing left to
// do: a pivot row is never written again, and below a zero pivot every
// float is zero and stays so, as long as every factor of the later steps is
// finite (0 times an infinite factor is a NaN, which the sweep would take
// for a pivot). So the sweep starts at `first`, unless a column below a
// zero pivot has lost a zero: then it goes over every position, as ever.
void Reduction::sweepFrom(int64_t first) {
  if (!zeroLostBelowZeroPivot()) return exact::pivotSweep(a_, n_, sign_, exact_, first);
  exact::pivotSweep(a_, n_, sign_, exact_);
  zeroPivots_.clear();
  for (int64_t d = 0; d < nextStep_; ++d) {
    if (pivotCountsAsZero(d)) zeroPivots_.push_back(d);
  }
}

bool Reduction::zeroLostBelowZeroPivot() const {
  for (int64_t k : zeroPivots_) {
    for (int64_t i = k; i < n_; ++i) {
      if (a_[i * n_ + k] != 0.0f) return true;
    }
  }
  return false;
}

bool Reduction::pivotCountsAsZero(int64_t j) const {
  return exact::countsAsZero(a_, n_, exact_, j, j);
}

// The steps before `next` are taken: their zero pivots are kept in mind.
void Reduction::passStepsBefore(int64_t next) {
  for (int64_t j = nextStep_; j < next; ++j) {
    if (pivotCountsAsZero(j)) zeroPivots_.push_back(j);
  }
  nextStep_ = next;
}

// Step j whose pivot counts as zero, every entry below it too (their floats
// are zero: the sweep's flush saw to it). It changes nothing, as a rule,
// and then neither does the sweep after it.
void Reduction::zeroPivotStep(int64_t j) {
  if (exact_.stepChangesNothing(j, j)) return passStepsBefore(j + 1);
  columnStep(j);
  sweep();
}

int64_t Reduction::oneFloatStep(int64_t j) {
  kernels::eliminateRightOfPivot(a_, n_, j);
  return j + 1;
}

// Until the first column step each entry is its own exact value, zero
// exactly when its float is: the sweeps need no residues before then.
void Reduction::takeResiduesOfFloats() {
  if (!exactValues_ || residuesTaken_) return;
  exact_ = ExactResidues(a_, n_);
  residuesTaken_ = true;
}

void Reduction::columnStep(int64_t j) {
  takeResiduesOfFloats();
  kernels::eliminateColumn(a_, n_, j);
  exact_.eliminateColumn(j);
  passStepsBefore(j + 1);
}

// The common case of a large matrix: after the first step and its sweep,
// no value that the later steps test is zero modulo the first prime, so
// none is exactly zero. The floats then go in stretches between float
// zeros on the diagonal, the residues modulo the first prime alone, on one
// scratch copy, beside them; the sweep after a stretch is the float one.
// False, with `a` and the sign as they were, when the first prime's
// residues cannot tell (a zero residue where the float is not zero) or a
// zero stays on the diagonal.
bool Reduction::stepsWithNoZeroAhead(const std::function<void()>& restore,
                                     const FloatSteps& floatSteps) {
  if (isZero(a_[0])) return false;
  // Small numbers meet exact zeros step after step, first of all on the
  // diagonal after the first step: there this way would fail at its first
  // look, after a costly sweep on row numbers.
  if (zerosOnDiagonalAfterFirstStep() > n_ / 64) return false;
  const FirstStep first(a_, n_);
  // Then this way would most likely fail at its first look.
  if (first.zeroModuloFirstPrimeAfterSecondStep()) return false;
  // Left uninitialised: every element is written once, and a fresh large
  // block costs its page faults only once so.
  const std::unique_ptr<double[]> residues(new double[static_cast<size_t>(n_ * n_)]);
  first.writeFirstResidues(residues.get());
  first.apply(a_);
  const int signBefore = sign_;
  sign_ = first.signAfter(sign_);
  if (stepsBesideFirstResidues(residues.get(), floatSteps)) return true;
  restore();
  sign_ = signBefore;
  return false;
}

bool Reduction::stepsBesideFirstResidues(double* residues, const FloatSteps& floatSteps) {
  const modular::ModularCode& code = modular::activeModularCode();
  for (int64_t done = 1; done < n_;) {
    const int64_t reached = floatSteps(a_, n_, done, n_);
    if (!modular::testedStepsWithoutExchanges(residues, n_, done, reached, modular::kFirstPrime,
                                              code)
             .empty()) {
      return false;
    }
    if (reached == n_) break;
    if (!floatSweepBesideResidues(residues)) return false;
    done = reached;
    tellProgress(done);
  }
  return true;
}

// The sweep where the only zeros are the floats': a value with a non-zero
// residue is not exactly zero. False when a value it tests has a zero
// residue but not a zero float, or when a zero on the diagonal finds no row
// to take its place.
// Modulo the first prime, for each k.
int64_t Reduction::zerosOnDiagonalAfterFirstStep() const {
  const modular::Field& field = modular::firstField();
  auto residue = [&](int64_t r, int64_t c) { return field.centredResidueOf(a_[r * n_ + c]); };
  int64_t zeros = 0;
  for (int64_t k = 1; k + 1 < n_; ++k) {
    zeros +=
        field.centredAfterStep(residue(k, k), residue(k, 0), residue(0, k), residue(0, 0)) == 0.0;
  }
  return zeros;
}

bool Reduction::floatSweepBesideResidues(double* residues) {
  auto residueIsZero = [&](int64_t r, int64_t c) { return residues[r * n_ + c] == 0.0; };
  for (int64_t k = 0; k + 1 < n_; ++k) {
    const bool floatZero = isZero(a_[k * n_ + k]);
    if (!floatZero && residueIsZero(k, k)) return false;
    if (!floatZero) continue;
    bool exchanged = false;
    for (int64_t p = k + 1; p < n_; ++p) {
      if (isZero(a_[p * n_ + k])) continue;
      if (residueIsZero(p, k)) return false;
      sign_ = -sign_;
      std::swap_ranges(a_ + k * n_, a_ + k * n_ + n_, a_ + p * n_);
      std::swap_ranges(residues + k * n_, residues + k * n_ + n_, residues + p * n_);
      exchanged = true;
    }
    if (!exchanged) return false;
  }
  return true;
}

void Reduction::plainStepsFrom(int64_t first) {
  for (int64_t j = first; j < n_; ++j) {
    if (pivotCountsAsZero(j)) {
      zeroPivotStep(j);
    } else {
      columnStep(j);
      sweep();
    }
    tellProgress(j + 1);
  }
}

// The steps right of the pivot leave the columns below the zero pivots as
// they were, zero: the plain steps keep them so as long as every factor is
// finite. A factor that is not makes its row's diagonal entry infinite or
// NaN, for good: then the plain steps take the reduction again.
bool Reduction::stepsRightOfPivotMayDiffer(int64_t done) const {
  if (zeroPivots_.empty()) return false;
  for (int64_t k = done; k < n_; ++k) {
    if (!std::isfinite(a_[k * n_ + k])) return true;
  }
  return false;
}

void Reduction::plainStepsAgain(const std::function<void()>& restore, int signAtStart) {
  restore();
  sign_ = signAtStart;
  exact_ = ExactResidues(a_, n_);
  nextStep_ = 0;
  zeroPivots_.clear();
  plainStepsFrom(0);
}

// Until a pivot counts as zero, nothing left of the next step's column is
// read again: each step changes the columns right of its pivot only, and
// each sweep starts at the next step's position. From a zero pivot on, the
// steps take every column: the column below it must stay as the plain
// steps leave it, for the sweeps to check.
void Reduction::stepsOneByOne() {
  takeResiduesOfFloats();
  int64_t j = 0;
  for (; j < n_ && !pivotCountsAsZero(j); ++j) {
    kernels::eliminateRightOfPivot(a_, n_, j);
    exact_.eliminateColumn(j, j + 1);
    passStepsBefore(j + 1);
    sweep();
  }
  plainStepsFrom(j);
}

// The residues of the steps from `first` on without exchanges, on copies:
// the steps after which a sweep first tests a value that is zero modulo
// both primes (n when none does), and, when none does, whether the last
// diagonal entry, which only the product takes, is such a zero.
Reduction::ZeroAhead Reduction::zeroAhead(int64_t first) const {
  const modular::ModularCode& code = modular::activeModularCode();
  auto zeros = [&](int prime, int64_t until) {
    exact_.copyInOrder(prime, first, scratch_);
    const int64_t p = prime == 0 ? modular::kFirstPrime : modular::kSecondPrime;
    return modular::zerosWithoutExchanges(scratch_.values.get(), n_, first, until, p, code);
  };
  const modular::TestedValue last{n_ - 1, n_ - 1};
  const std::vector<modular::TestedValue> firstZeros = zeros(0, modular::kFirstZero);
  if (firstZeros.empty()) return {n_, false};
  const modular::TestedValue earliest = firstZeros.front();
  if (earliest == last) return {n_, contains(zeros(1, n_), last)};
  if (contains(zeros(1, earliest.steps), earliest)) return {earliest.steps, false};
  // A multiple of the first prime by chance: every zero of both.
  const std::vector<modular::TestedValue> all = zeros(0, n_);
  const std::vector<modular::TestedValue> second = zeros(1, n_);
  for (const modular::TestedValue& v : all) {
    if (contains(second, v)) return {v == last ? n_ : v.steps, v == last};
  }
  return {n_, false};
}

void Reduction::stepsForDiagonal(const std::function<void()>& restore,
                                 const FloatSteps& floatSteps) {
  if (!exactValues_) return kernels::reduceDiagonal(a_, n_, sign_, restore);
  if (n_ < kBlockedSide) return stepsOneByOne();
  const int signAtStart = sign_;
  if (!residuesTaken_ && stepsWithNoZeroAhead(restore, floatSteps)) {
    exactValues_ = false;
    return;
  }
  takeResiduesOfFloats();
  int64_t done = 0;
  while (done < n_) {
    if (pivotCountsAsZero(done)) {
      zeroPivotStep(done);
      tellProgress(++done);
      continue;
    }
    // Small fills meet a zero after nearly every one of their first steps:
    // there the one step ahead is looked at alone.
    const ZeroAhead ahead =
        exact_.zeroOnDiagonalAfterStep(done) ? ZeroAhead{done + 1, false} : zeroAhead(done);
    const int64_t reached =
        ahead.steps == done + 1 ? oneFloatStep(done) : floatSteps(a_, n_, done, ahead.steps);
    if (stepsRightOfPivotMayDiffer(done)) return plainStepsAgain(restore, signAtStart);
    if (reached == n_ && ahead.steps == n_) {
      // No sweep acts again; of the values they tested, none was zero.
      exact_ = ExactResidues();
      lastExactlyZero_ = ahead.lastExactlyZero;
      return;
    }
    exact_.stepsWithoutExchanges(done, reached);
    passStepsBefore(reached);
    done = reached;
    sweep();
    tellProgress(done);
  }
}

int64_t blockedFloatSteps(float* a, int64_t n, int64_t first, int64_t limit) {
  return reduction::rightOfPivotWithoutSweeps(activeIsa(), a, n, first, limit);
}

int64_t plainFloatSteps(float* a, int64_t n, int64_t first, int64_t limit) {
  const int64_t end = std::min(limit, n);
  for (int64_t j = first; j < end; ++j) {
    reference::eliminateColumn(a, n, j);
    for (int64_t k = 0; k + 1 < n; ++k) {
      if (a[k * n + k] == 0.0f) return j + 1;
    }
  }
  return std::max(first, end);
}

void Reduction::tellProgress(int64_t steps) const {
  if (progress_) progress_(steps, n_);
}

bool Reduction::diagonalHasNoZero() const {
  for (int64_t d = 0; d < n_; ++d) {
    if (exact::countsAsZero(a_, n_, exact_, d, d)) return false;
  }
  return !lastExactlyZero_;
}

float Reduction::determinant(float productBefore, int signBefore) const {
  return productInOrder(static_cast<float>(signBefore * sign_),
                        exact::diagonalProduct(a_, n_, exact_, lastExactlyZero_, productBefore));
}

}  // namespace trelvo::kernels
