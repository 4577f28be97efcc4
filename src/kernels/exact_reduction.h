// The determinant's reduction of one working copy, with the zero test on
// exact values (kernels/exact_zeros.h) on every path.
//
// For the diagonal alone of a large matrix, the float steps run on the
// blocked code right of the pivot as long as no sweep acts, and the exact
// residues of the same steps without exchanges run blocked beside them,
// modulo the first prime: when no value the sweeps test is zero modulo it,
// no sweep acts under the exact test either, and the float result stands.
// A value zero modulo the first prime is tried modulo the second; one zero
// modulo both (an exact zero: the sweep acts there), or a float zero on
// the diagonal, sends the reduction back to the start to take the steps up
// to that one as the plain code does, with both primes, and the rest again
// as above. Integer matrices meet their exact zeros in their first steps,
// mostly, so this repeats seldom; after a few tries every step is plain.
#pragma once

#include <cstdint>
#include <functional>

#include "kernels/exact_zeros.h"

namespace trelvo::kernels {

/// Whether the reduction's zero test looks at exact values (on by
/// default). Off, every zero is the float's: for benchmarks that weigh
/// what the exact test costs, and for tests.
void useExactZeros(bool use);
bool exactZerosInUse();

/// The float steps right of the pivot from `firstStep` on, without sweeps:
/// returns kFloatStepsFinished, or the step after which a sweep would find a
/// zero on the diagonal (then `a` is in no useful state).
inline constexpr int64_t kFloatStepsFinished = INT64_MAX;
using FloatStepsWithoutSweeps = std::function<int64_t(float* a, int64_t n, int64_t firstStep)>;

/// Those steps on the blocked code of the variant in use, and the plain
/// code that defines them, one column at a time over every column.
int64_t blockedFloatStepsWithoutSweeps(float* a, int64_t n, int64_t firstStep);
int64_t plainFloatStepsWithoutSweeps(float* a, int64_t n, int64_t firstStep);

class Reduction {
 public:
  /// The reduction of the n x n matrix in `a` (written in place); its exact
  /// values are those of its entries now (none when one is not finite).
  Reduction(float* a, int64_t n);

  int sign() const { return sign_; }
  /// The pivot sweep.
  void sweep();
  /// The column step j (its elimination; the sweep is apart).
  void columnStep(int64_t j);
  /// All n column steps, each followed by a sweep, for the determinant:
  /// the diagonal and the sign end as those steps leave them, the other
  /// entries in no particular state. `restore` puts `a` back as it was at
  /// the call; `floatSteps` takes the float steps without sweeps.
  /// REQUIRES: a sweep has run since the last change, and no column step.
  void stepsForDiagonal(const std::function<void()>& restore,
                        const FloatStepsWithoutSweeps& floatSteps);
  /// The sign times the diagonal product, an entry that counts as zero
  /// taken as +0.0.
  float determinant() const;

 private:
  void startExact();
  void plainStepsFrom(int64_t first);
  bool diagonalCountsAsZero() const;
  int64_t stepsBeforeAZero(int64_t first) const;

  float* a_;
  int64_t n_;
  int sign_ = 1;
  bool exactValues_;
  ExactResidues exact_;  // started at the first column step
};

}  // namespace trelvo::kernels
