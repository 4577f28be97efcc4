// Steps shared between minors.
//
// Without exchanges, the minor without row i and column j takes its first
// j column steps as the matrix without row i takes them: a step updates
// each entry from itself, its row's entry in the pivot column and the
// pivot row, none of them in column j while the pivot is left of it. After
// k <= j steps the minor is that matrix's state without column j, bit for
// bit. Likewise its first i steps are those of the matrix without column
// j, row i left out. So the minors of row i from column i on share the
// steps of the matrix without row i, those of column j below row j the
// steps of the matrix without column j, and each takes only its last steps
// on its own, from the shared state.
//
// The minor's diagonal is, in the shared state, the diagonal before its
// left-out line and the entries beside it (right of it, or below it) from
// there on. A minor takes the shared steps only when none of the values its
// sweeps would have tested there was zero (nor, with exact values, zero
// modulo the first prime); otherwise it goes on with the other minors of
// its row that do (swept_minors.h), or, without exact values, the way of a
// whole minor.
#pragma once

#include <cstdint>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/minors/minor_batch.h"

namespace trelvo::kernels::minors {

// The whole matrix, or the matrix without one of its rows or columns,
// through its column steps without exchanges, with its residues modulo the
// first prime when some minor has exact values; and which of the values on
// its diagonal and beside it have been zero so far. The first steps of the
// matrix without row or column `line` are those of the whole: it starts
// from them.
class SharedSteps {
 public:
  /// Floats of the room of the matrix's state and of its block.
  static int64_t roomFloats(int64_t n) { return 2 * n * n; }
  /// The state and the block go in `room`, of roomFloats(n) floats.
  SharedSteps(int64_t n, float* room) : n_(n), a_(room), zeros_(3 * n), block_(room + n * n) {}

  /// The whole matrix, before any step.
  void startWhole(const Minors& m);
  /// The matrix without row `line` (byRow) or without column `line`, from
  /// the state of the whole after min(line, n - 3) steps.
  void startWithout(const SharedSteps& whole, bool byRow, int64_t line);
  /// Takes the steps up to `steps` in all.
  void advanceTo(const isa::Isa& x, int64_t steps);
  int64_t steps() const { return steps_; }
  /// Whether a value tested so far is zero for the minor that leaves out
  /// line `other` too (its column when byRow, else its row); also zero
  /// modulo the first prime with `exact`. REQUIRES: other >= steps().
  bool metZero(int64_t other, bool exact) const;
  /// The product of the diagonal entries left of the steps to come.
  float productBefore() const { return before_; }
  /// The entries from the steps to come on, square (side n - steps()): the
  /// missing row, or column, last and zero.
  const float* block();
  const double* blockResidues();

 private:
  static constexpr uint8_t kFloatZero = 1;
  static constexpr uint8_t kResidueZero = 2;
  // Where the zeros of entry (r, r), (r + 1, r) and (r, r + 1) are kept.
  enum Place { kDiagonal = 0, kBelow = 1, kRight = 2 };

  uint8_t& zeros(Place place, int64_t r) { return zeros_[place * n_ + r]; }
  uint8_t zeros(Place place, int64_t r) const { return zeros_[place * n_ + r]; }
  void step(const isa::Isa& x, int64_t s);
  void stepResidues(int64_t s);
  void testFrom(int64_t first);
  void summarizeZeros() const;
  void zerosWithout(const SharedSteps& whole, int64_t line);
  template <class T>
  void copyBlock(const T* from, T* to) const;
  template <class T>
  void copyWithout(const T* whole, int64_t fromRow, int64_t line, T* to, int64_t r) const;
  // Room for the residues, only where some minor has exact values to test:
  // with the exact test off, or an entry not finite, it would be fresh
  // memory never used.
  void makeRoomForResidues();

  int64_t n_;
  bool byRow_ = true;
  int64_t rows_ = 0;
  int64_t cols_ = 0;
  int64_t steps_ = 0;
  float before_ = 1.0f;
  bool withResidues_ = false;
  float* a_;
  std::vector<double> residues_;
  // Per place and position r, whether the entry has been zero.
  std::vector<uint8_t> zeros_;
  // Per kind of zero (floats only, or residues too): the first diagonal
  // entry and the last entry beside it found zero (n and -1 when none);
  // kept until the zeros change.
  struct ZerosFound {
    int64_t firstOnDiagonal;
    int64_t lastBeside;
  };
  mutable ZerosFound found_[2] = {};
  mutable bool summarized_ = false;
  float* block_;
  std::vector<double> blockResidues_;
};

}  // namespace trelvo::kernels::minors
