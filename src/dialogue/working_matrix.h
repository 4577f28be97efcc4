// The matrix the dialogue keeps in memory for the whole run.
//
// Every element is a pair of floats: member `selector` of each pair holds
// the current matrix, the other member the pending result of the last
// operation. Keeping a result flips the selector (and, for a transpose or a
// product, changes the dimensions); nothing is copied for the common case.
// Invariants: count == rows * cols, pairs holds count pairs, selector is 0
// or 1.
#pragma once

#include <cstdint>
#include <functional>

#include "base/storage.h"
#include "dialogue/dialogue.h"

namespace trelvo {

struct ElementPair {
  float member[2];
};

/// One member of a run of pairs as plain floats, for the kernels: element k
/// at memberValues(pairs, member)[k * kPairStep].
inline constexpr int64_t kPairStep = 2;
static_assert(sizeof(ElementPair) == kPairStep * sizeof(float), "pairs lie as plain floats");
inline const float* memberValues(const ElementPair* pairs, int member) {
  return reinterpret_cast<const float*>(pairs) + member;
}

/// A row-major sequence of floats to read or write: one member of a run of
/// element pairs, or a plain array.
class MatrixView {
 public:
  MatrixView(ElementPair* pairs, int member) : pairs_(pairs), member_(member) {}
  explicit MatrixView(float* values) : values_(values) {}

  float operator[](int64_t k) const { return pairs_ ? pairs_[k].member[member_] : values_[k]; }
  /// The same values as plain floats for the kernels: element k at
  /// values()[k * step()].
  const float* values() const { return pairs_ ? memberValues(pairs_, member_) : values_; }
  int64_t step() const { return pairs_ ? kPairStep : 1; }

  void set(int64_t k, float v) const {
    if (pairs_) {
      pairs_[k].member[member_] = v;
    } else {
      values_[k] = v;
    }
  }

 private:
  ElementPair* pairs_ = nullptr;
  float* values_ = nullptr;
  int member_ = 0;
};

struct WorkingMatrix {
  int32_t rows = 0;
  int32_t cols = 0;
  int32_t count = 0;
  Storage<ElementPair> pairs;
  int selector = 0;

  int pendingMember() const { return 1 - selector; }
  MatrixView current() { return {pairs.data(), selector}; }
  MatrixView pending() { return {pairs.data(), pendingMember()}; }
};

/// A working matrix of rows x cols, current member 0.
/// REQUIRES: rows >= 1, cols >= 1. Throws std::bad_alloc when rows * cols is
/// beyond the dialogue's storage limit or the signed 32-bit range, or when
/// the storage cannot be had.
WorkingMatrix createWorkingMatrix(const Dialogue& d, int32_t rows, int32_t cols);

/// Makes the pending result current.
void keepPending(WorkingMatrix& m);
/// Makes the pending transpose current: rows and cols exchange.
void keepTransposed(WorkingMatrix& m);
/// Makes a product of m.rows x productCols values (row-major) current,
/// re-sizing the pairs. Throws std::bad_alloc, leaving m as it was, when the
/// new storage cannot be had.
void keepProduct(const Dialogue& d, WorkingMatrix& m, int32_t productCols, const float* product);

/// Makes rows x cols values (row-major) current, re-sizing the pairs.
/// Throws std::bad_alloc, leaving m as it was, when the new storage cannot
/// be had.
void keepMatrix(const Dialogue& d, WorkingMatrix& m, int32_t rows, int32_t cols,
                const float* values);
/// Asks whether to keep the result just printed and, on the answer 1,
/// applies `keep` to the working matrix.
void offerSave(Dialogue& d, WorkingMatrix& m, const std::function<void(WorkingMatrix&)>& keep);

}  // namespace trelvo
