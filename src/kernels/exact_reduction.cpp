#include "kernels/exact_reduction.h"

#include <algorithm>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/kernels.h"
#include "kernels/modular.h"
#include "kernels/modular_lu.h"
#include "kernels/reduction.h"
#include "kernels/reference.h"

namespace trelvo::kernels {
namespace {

bool& exactZerosSwitch() {
  static bool use = true;
  return use;
}

// Tries of the blocked steps before every step is plain.
constexpr int kBlockedTries = 4;
// Below this side the plain steps are as fast.
constexpr int64_t kBlockedSide = 48;

bool contains(const std::vector<modular::TestedValue>& values, const modular::TestedValue& v) {
  return std::find(values.begin(), values.end(), v) != values.end();
}

}  // namespace

void useExactZeros(bool use) { exactZerosSwitch() = use; }
bool exactZerosInUse() { return exactZerosSwitch(); }

Reduction::Reduction(float* a, int64_t n)
    : a_(a), n_(n), exactValues_(exactZerosInUse() && allFinite(a, n)) {}

// Until the first column step the entries are the matrix's own (in another
// order), each its own exact value: the plain sweep is the exact one.
void Reduction::startExact() {
  if (exactValues_ && !exact_.on()) exact_ = ExactResidues(a_, n_);
}

void Reduction::sweep() { exact::pivotSweep(a_, n_, sign_, exact_); }

void Reduction::columnStep(int64_t j) {
  startExact();
  kernels::eliminateColumn(a_, n_, j);
  exact_.eliminateColumn(j);
}

void Reduction::plainStepsFrom(int64_t first) {
  for (int64_t j = first; j < n_; ++j) {
    columnStep(j);
    sweep();
  }
}

bool Reduction::diagonalCountsAsZero() const {
  for (int64_t k = 0; k + 1 < n_; ++k) {
    if (exact::countsAsZero(a_, n_, exact_, k, k)) return true;
  }
  return false;
}

// The residues of the steps from `first` on without exchanges: the number
// of steps after which a sweep tests a value that is zero modulo both
// primes, or kFloatStepsFinished when there is none.
int64_t Reduction::stepsBeforeAZero(int64_t first) const {
  const modular::ModularCode& code = modular::activeModularCode();
  auto residues = [&](int prime) {
    if (!exact_.on()) {
      return modular::centredResidues(a_, n_,
                                      prime == 0 ? modular::kFirstPrime : modular::kSecondPrime);
    }
    return prime == 0 ? exact_.firstResidues() : exact_.secondResidues();
  };
  auto zeros = [&](int prime, int64_t until) {
    std::vector<double> e = residues(prime);
    const int64_t p = prime == 0 ? modular::kFirstPrime : modular::kSecondPrime;
    return modular::zerosWithoutExchanges(e.data(), n_, first, until, p, code);
  };
  const std::vector<modular::TestedValue> firstZeros = zeros(0, modular::kFirstZero);
  if (firstZeros.empty()) return kFloatStepsFinished;
  const modular::TestedValue earliest = firstZeros.front();
  if (contains(zeros(1, earliest.steps), earliest)) return earliest.steps;
  // A multiple of the first prime by chance: every zero of both.
  const std::vector<modular::TestedValue> all = zeros(0, n_);
  const std::vector<modular::TestedValue> second = zeros(1, n_);
  for (const modular::TestedValue& v : all) {
    if (contains(second, v)) return v.steps;
  }
  return kFloatStepsFinished;
}

void Reduction::stepsForDiagonal(const std::function<void()>& restore,
                                 const FloatStepsWithoutSweeps& floatSteps) {
  if (!exactValues_) return kernels::reduceDiagonal(a_, n_, sign_, restore);
  if (n_ < kBlockedSide) return plainStepsFrom(0);
  const int signBefore = sign_;
  int64_t done = 0;        // the plain steps taken so far
  int64_t plainSteps = 0;  // those to take before the blocked ones
  for (int tries = 0; tries < kBlockedTries; ++tries) {
    for (; done < plainSteps; ++done) {
      columnStep(done);
      sweep();
    }
    // A zero that stays on the diagonal is met by every later sweep.
    if (diagonalCountsAsZero()) break;
    // The residues are worked on copies: up to an exact zero, the plain
    // steps go on from here.
    plainSteps = stepsBeforeAZero(done);
    if (plainSteps != kFloatStepsFinished) continue;
    const int64_t stop = floatSteps(a_, n_, done);
    if (stop == kFloatStepsFinished) {
      // Every value a sweep tested was non-zero, exactly and as a float.
      exact_ = ExactResidues();
      return;
    }
    restore();
    sign_ = signBefore;
    exact_ = ExactResidues();
    done = 0;
    plainSteps = stop + 1;
  }
  plainStepsFrom(done);
}

static_assert(reduction::kFinished == kFloatStepsFinished);

int64_t blockedFloatStepsWithoutSweeps(float* a, int64_t n, int64_t firstStep) {
  return reduction::rightOfPivotWithoutSweeps(activeIsa(), a, n, firstStep);
}

int64_t plainFloatStepsWithoutSweeps(float* a, int64_t n, int64_t firstStep) {
  for (int64_t j = firstStep; j < n; ++j) {
    reference::eliminateColumn(a, n, j);
    for (int64_t k = 0; k + 1 < n; ++k) {
      if (a[k * n + k] == 0.0f) return j;
    }
  }
  return kFloatStepsFinished;
}

float Reduction::determinant() const {
  return static_cast<float>(sign_) * exact::diagonalProduct(a_, n_, exact_);
}

}  // namespace trelvo::kernels
