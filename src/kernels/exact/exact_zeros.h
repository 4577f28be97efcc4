// exact/: the exact values of floats and the zero test on them.
// decimal.* gives a float's shortest decimal, the value it counts as;
// modular.* the arithmetic modulo two primes; modular_lu.* the blocked
// steps on residues; exact_zeros.* the residues beside a working copy and
// the test itself.
//
// The reduction's zero test on exact values.
//
// Beside its float working copy, the reduction knows the exact value of
// every entry: what exact arithmetic gives on the same float inputs with
// the same row exchanges, where a column step j subtracts, from every row
// below j, exact a[i][j] / exact a[j][j] times row j, when that pivot is
// not exactly zero. An entry counts as zero when its float is zero or its
// exact value is. That test replaces the float one in the pivot sweep (the
// diagonal entry, and the entries below it that may be exchanged in) and
// in the diagonal product, so that a rounding residue where the exact
// value is zero is never taken for a pivot nor multiplied into the result.
// The column step keeps its float test and its float arithmetic.
//
// The exact values are residues modulo two primes (see modular.h). An
// entry counts as exactly zero only when it is zero modulo both. That is
// safe in practice: a non-zero exact value is then a multiple of both
// primes, of their product near 2^50, which the values of a reduction
// (ratios of minors of the matrix) are with odds of about 2^-50 per test;
// and a prime that meets, by chance (odds 1/p per step), a non-zero pivot
// that is a multiple of it only loses its hold on the later zeros, which
// the reduction then treats as the float test would.
//
// A matrix with an infinity or a NaN has no exact values: the float test
// stays, and nothing of this changes the reduction.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "kernels/row_order.h"

namespace trelvo::kernels {

/// Whether the reduction's zero test looks at exact values (on by
/// default). Off, every zero is the float's: for benchmarks that weigh
/// what the exact test costs, and for tests.
void useExactZeros(bool use);
bool exactZerosInUse();

/// The exact values of an n x n working copy, as residues modulo both
/// primes. Rows exchanged in the copy must be exchanged here, and each
/// column step of the copy taken here too.
class ExactResidues {
 public:
  /// Off: no entry is known exactly, and none counts as exactly zero.
  ExactResidues() = default;
  /// The residues of the n x n matrix `a`; off when some entry of it is
  /// infinite or NaN, or when exact zeros are not in use.
  ExactResidues(const float* a, int64_t n);
  /// The same for a rows x cols matrix (only the steps one by one, not
  /// stepsWithoutExchanges, serve one that is not square).
  ExactResidues(const float* a, int64_t rows, int64_t cols);
  /// The residues given, modulo the first prime and the second, of an
  /// n x n matrix whose entries are all finite.
  ExactResidues(std::vector<double> first, std::vector<double> second, int64_t n);

  bool on() const { return on_; }
  /// Zero modulo both primes (never when off).
  bool isExactZero(int64_t r, int64_t c) const {
    if (!on_) return false;
    const int64_t k = order_.at(r) * cols_ + c;
    return first_[k] == 0.0 && secondNow()[k] == 0.0;
  }
  /// The residue of entry (r, c) modulo the first or the second prime, 0
  /// to p - 1.
  int64_t residue(int prime, int64_t r, int64_t c) const;
  /// The centred residues modulo each prime, row-major, in the rows' order.
  const std::vector<double>& firstResidues() const;
  const std::vector<double>& secondResidues() const;
  /// Room for a copy of residues, kept from one copy to the next.
  struct Scratch {
    std::unique_ptr<double[]> values;
    size_t size = 0;
  };
  /// Into `into` (room for rows x cols, made so if it has not), the centred
  /// residues modulo one prime (0 or 1) in the rows' order, of the rows and
  /// columns from `from` on; the storage stays as it is.
  void copyInOrder(int prime, int64_t from, Scratch& into) const;
  /// Exchanges rows r and s: their residues move only when next read in
  /// place (see row_order.h).
  void exchangeRows(int64_t r, int64_t s);
  /// Column steps `from` to `to` - 1 with no exchange between them: few of
  /// them one by one, more blocked (see modular_lu.h).
  void stepsWithoutExchanges(int64_t from, int64_t to);
  /// Column step j: every row below j takes away its multiple of row j that
  /// makes its entry in column j zero; for each prime, nothing when the
  /// pivot is zero modulo that prime. Only the columns from `from` on
  /// change.
  void eliminateColumn(int64_t j, int64_t from = 0);
  /// The same step with the pivot (r, c): every row below r takes away its
  /// multiple of row r that makes its entry in column c zero.
  void eliminateBelow(int64_t r, int64_t c, int64_t from = 0);
  /// Whether the step of the pivot (r, c) would change nothing: modulo
  /// each prime, its pivot is zero or every entry below it is.
  bool stepChangesNothing(int64_t r, int64_t c) const;
  /// Whether column step j, taken without exchanges on this n x n matrix,
  /// would leave some diagonal entry k, j < k <= n - 2, exactly zero.
  bool zeroOnDiagonalAfterStep(int64_t j) const;
  /// The residues' storage, modulo the first prime and the second, in no
  /// particular state; off after it.
  std::pair<std::vector<double>, std::vector<double>> release() &&;

 private:
  // Brings the storage of both primes into the rows' order.
  void putInOrder() const;

  bool on_ = false;
  int64_t rows_ = 0;
  int64_t cols_ = 0;
  // The row of the storage standing at each position.
  mutable RowOrder order_;
  // A column step the second prime's residues have still to take: the
  // pivot (r, s), from column `from` on, with the rows standing where
  // `order` put them then.
  struct Waiting {
    int64_t r;
    int64_t s;
    int64_t from;
    std::shared_ptr<const std::vector<int64_t>> order;
  };
  // The second prime's residues, once they have taken the steps waiting.
  const std::vector<double>& secondNow() const {
    if (!waiting_.empty()) takeWaitingSteps();
    return second_;
  }
  void takeWaitingSteps() const;

  // Centred residues (see modular_lu.h), each kept reduced.
  mutable std::vector<double> first_;
  // The second prime is read only where a residue of the first is zero,
  // mostly in the first steps: its steps wait until then.
  mutable std::vector<double> second_;
  mutable std::vector<Waiting> waiting_;
};

/// True when every entry of the n x n matrix `a` is finite.
bool allFinite(const float* a, int64_t n);

/// The reduction's steps with the zero test on exact values; with `exact`
/// off they are the plain float steps.
namespace exact {

/// Entry (r, c) of the n x n `a` counts as zero: its float is zero or its
/// exact value is.
inline bool countsAsZero(const float* a, int64_t n, const ExactResidues& exact, int64_t r,
                         int64_t c) {
  return a[r * n + c] == 0.0f || exact.isExactZero(r, c);
}

/// The pivot sweep: for each diagonal position k from 0 to n - 2 whose
/// entry counts as zero, every row below with an entry in column k that
/// counts as non-zero is exchanged with row k in turn, each exchange
/// negating `sign`. When none is, the entries of column k from the diagonal
/// down that count as zero but whose float is not zero become +0.0. The
/// positions before `first` are left out.
void pivotSweep(float* a, int64_t n, int& sign, ExactResidues& exact, int64_t first = 0);

/// The column step j: the float elimination as ever, and the exact one.
void eliminateColumn(float* a, int64_t n, int64_t j, ExactResidues& exact);

/// All n column steps, each followed by a sweep.
void reduceColumns(float* a, int64_t n, int& sign, ExactResidues& exact);

/// The product of the diagonal from `from` in diagonal order, where an
/// entry that counts as zero but whose float is not zero contributes +0.0.
/// With `lastExactlyZero`, the last entry counts as zero whatever `exact`
/// says.
float diagonalProduct(const float* a, int64_t n, const ExactResidues& exact,
                      bool lastExactlyZero = false, float from = 1.0f);

/// The determinant of the m x m `minor` (overwritten) by the whole
/// reduction: the sweep, the column steps, the sign times the diagonal
/// product. REQUIRES: m >= 2.
float reducedDeterminant(float* minor, int64_t m);

}  // namespace exact
}  // namespace trelvo::kernels
