// The reduction's first column step and the sweep after it, worked out
// before anything is written.
//
// After the first step every value, float and exact, is a function of the
// entry itself, its row's entry in column 0 and the pivot row's: so the
// sweep that follows, with the exact zero test, can be run on row numbers
// alone, and the residues of the values it leaves can be taken straight
// from the entries. On whole-number matrices that sweep is where exact
// zeros turn up most (a 2 x 2 minor that is zero): taking it apart spares
// the residues of every later step the exchanges it makes.
#pragma once

#include <cstdint>
#include <vector>

namespace trelvo::kernels {

class FirstStep {
 public:
  /// The step and its sweep on the n x n matrix of finite floats `a`.
  /// REQUIRES: n >= 2 and a[0] is not zero.
  FirstStep(const float* a, int64_t n);

  /// The sign after the sweep's exchanges, from `sign` before them.
  int signAfter(int sign) const;
  /// The centred residues modulo the first prime of the exact values the
  /// step and the sweep leave, row-major, into `out` (n * n doubles).
  void writeFirstResidues(double* out) const;
  /// Whether a diagonal entry that the sweep after the second step tests
  /// would be zero modulo the first prime, taking that step without
  /// exchanges: where small numbers meet zeros step after step.
  bool zeroModuloFirstPrimeAfterSecondStep() const;
  /// Takes the step on `a` (the matrix given), then the entries the sweep
  /// sets to zero and its exchanges, each row moving once.
  void apply(float* a) const;

 private:
  // An entry the sweep sets to +0.0: its row of `a`, and its column.
  struct Flush {
    int64_t row;
    int64_t c;
  };

  float floatAfter(int64_t row, int64_t c) const;
  bool exactlyZeroAfter(int64_t row, int64_t c) const;
  bool countsAsZero(int64_t position, int64_t c) const;
  void sweep();

  const float* a_;
  int64_t n_;
  std::vector<int64_t> rowAt_;  // the row of `a` at each position after the sweep
  int64_t exchanges_ = 0;
  std::vector<Flush> flushes_;
};

}  // namespace trelvo::kernels
