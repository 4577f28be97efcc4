// The row echelon form of a matrix of any shape, for its rank and for
// linear systems.
//
// The reduction is the determinant's, with one difference: a column with
// no entry that counts as non-zero at or below the current pivot row is
// passed over, the pivot row staying. A column step eliminates, with the
// pivot of its column, every row below it whose entry in that column is a
// non-zero float, over all the columns, in float arithmetic rounded at
// every operation. A sweep, at the next step's pivot position and then at
// the later ones along the diagonal from it, as the determinant's sweep
// visits its own in the matrix bordered below by a row of zeros (the last
// row's position too), exchanges in turn, where the entry counts as zero, every
// row below with an entry that counts as non-zero; the next step's column
// is passed over when there is none. An entry counts as zero when its
// float is zero or its exact value is (kernels/exact/exact_zeros.h); a position
// with nothing to exchange has its column's entries from there down that
// count as zero flushed to +0.0, and so has a row that counts as zero
// everywhere. So a matrix that passes no column is reduced exactly as the
// determinant reduces it so bordered, exchange for exchange.
//
// Where the walk stands after a column step is settled for good: a pivot's
// row is never written again, and a column passed over holds only zeros at
// and below its pivot row, which later steps keep. So each sweep starts at
// the next step's column, and stops as soon as every row from the pivot
// row down counts as zero: a rank-deficient matrix costs no more sweeps
// than a full one.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "kernels/exact/exact_zeros.h"

namespace trelvo::kernels {

class Echelon {
 public:
  /// The rows x cols matrix `a` (row-major), reduced in place; its exact
  /// values are those of its entries now (none when one is not finite).
  /// Without `everyColumn`, a column step leaves the entries left of its
  /// pivot column in the rows below in no particular state (they are read
  /// again only to be printed).
  Echelon(float* a, int64_t rows, int64_t cols, bool everyColumn = true);

  /// The pivot sweep, from the first column not yet settled.
  void sweep();
  /// Every later sweep looks at each of its positions afresh, as the
  /// reduction is defined (for tests: the same steps, the same exchanges).
  void lookAtEveryPosition() { rememberZeroColumns_ = false; }
  /// The column step of column c: nothing when the last sweep passed it
  /// over. REQUIRES: the columns before c have had their steps, then a sweep.
  void columnStep(int64_t c);

  /// The pivot row of column c, or -1 when the column is passed over. A
  /// column is settled by the sweep before its own step; after the last
  /// step, every column is.
  int64_t pivotRow(int64_t c) const { return pivotRowOf_[c]; }
  /// The pivots found by the last sweep: the rank, after the last step.
  int64_t pivots() const;
  /// The pivots among the first `cols` columns.
  int64_t pivotsBefore(int64_t cols) const;

  bool countsAsZero(int64_t r, int64_t c) const {
    return a_[r * cols_ + c] == 0.0f || exact_.isExactZero(r, c);
  }
  /// Whether the exact values decide the zeros (no infinity or NaN).
  bool exactValues() const { return exact_.on(); }
  const ExactResidues& exact() const { return exact_; }
  const float* values() const { return a_; }
  int64_t rows() const { return rows_; }
  int64_t cols() const { return cols_; }

 private:
  void exchange(int64_t r, int64_t s);
  struct Policy;
  void flushColumnFrom(int64_t r, int64_t c, int64_t end);
  // Row r counts as zero from column `from` on, and before it: marked, and
  // its residues made +0.0.
  void flushIfZeroRow(int64_t r, int64_t from);
  int64_t lastRowNotZero() const;
  bool sweepPositionOnce(int64_t r, int64_t c, int64_t end);

  float* a_;
  int64_t rows_;
  int64_t cols_;
  bool everyColumn_;
  ExactResidues exact_;
  std::vector<int64_t> pivotRowOf_;
  // Rows (by position) known to count as zero in every column.
  std::vector<char> zeroRow_;
  // The columns before it are settled, and `settledRows_` pivots lie there.
  int64_t settledCols_ = 0;
  int64_t settledRows_ = 0;
  // Per column, the row from which every row counted as zero there at its
  // last sweep, its flush done, while nothing has changed since: a column
  // passed over leaves the next sweeps at the same positions, and without
  // this each would look down every column again.
  std::vector<int64_t> zeroFrom_;
  std::vector<uint64_t> zeroFromAt_;
  uint64_t changes_ = 1;
  bool rememberZeroColumns_ = true;
};

/// The reduced row echelon form of a system's augmented matrix, from its
/// echelon form: for each pivot, in order of its row, the value of its
/// unknown when every free unknown is 0, and the coefficient r of each
/// free unknown f in x = value - sum of r * x_f.
struct ReducedSystem {
  std::vector<int64_t> pivotColumns;  // ascending
  std::vector<int64_t> freeColumns;   // ascending
  // Row k of each: pivot k; `coefficients` has a column per free unknown.
  std::vector<float> values;
  std::vector<float> coefficients;
  // Whether each coefficient counts as zero: its exact value is zero, or,
  // without exact values, its float.
  std::vector<char> coefficientIsZero;
};

/// Back substitution on the echelon form `e` of [A | b], A having `unknowns`
/// columns and the system being consistent: for each pivot from the last
/// up, its row is divided by the pivot and taken, times its entry there,
/// from every row above (rows in ascending order, columns ascending; each
/// product, difference and quotient rounded to float; an entry above whose
/// float is zero takes nothing). The same runs on the exact values, which
/// tell the coefficients that are zero.
/// REQUIRES: e's rows have had every column step and a sweep after.
ReducedSystem reduceSystem(const Echelon& e, int64_t unknowns);

/// The values of a system of n equations in n unknowns, A(i, j) at
/// a[(i * n + j) * step] and b(i) at b[i], as reduceSystem gives them when
/// A's determinant is not zero, by the determinant's fast reduction of
/// [A | b] bordered below by (0 ... 0 1), whose steps and exchanges are then
/// those of the echelon form. Nothing when A's determinant is zero, or when
/// the system has no exact values (an infinity or a NaN): then the echelon
/// form must decide.
std::optional<std::vector<float>> solveByFastReduction(const float* a, int64_t step, const float* b,
                                                       int64_t n);

}  // namespace trelvo::kernels
