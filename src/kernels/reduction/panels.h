// The machinery both modes of the blocked reduction share (see
// kernels/reduction/reduction.h): a panel of column steps taken one by one in the
// panel's columns, each row's factors kept, and the waiting terms of the
// panel added to the rows below it as a block product at its end.
#pragma once

#include <cstdint>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/product/gemm.h"
#include "kernels/product/pack.h"

namespace trelvo::kernels::reduction {

/// The columns a step updates outside its panel: all of them, or only
/// those right of the panel.
enum class Columns { kEvery, kRightOfPivot };

class Panels {
 public:
  static constexpr int64_t kPanel = 64;
  static_assert(kPanel <= isa::kMaxPanelSteps, "the rows below take a panel's steps at once");
  static constexpr int64_t kNone = INT64_MAX;

  /// `keptFloats`: room a mode keeps beside the factors (kept_).
  Panels(const isa::Isa& x, float* a, int64_t n, int& sign, int64_t keptFloats = 0);

  /// The steps from 0 to `limit` - 1 (n at most), every column, with their
  /// sweeps; returns the next step.
  int64_t everyColumnUpTo(int64_t limit);

 protected:
  float* row(int64_t i) { return a_ + i * n_; }
  int64_t slot(int64_t i, int64_t j) const { return i * kPanel + (j - first_); }

  /// The panel's steps are `first` to the panel's end, at `limit` at the
  /// latest.
  void startPanel(int64_t first, int64_t limit);

  /// Starts a panel at `first` and takes its steps one by one, updating
  /// `columns` outside the panel, until the panel ends or a sweep may act
  /// after a step; returns that step (kNone when the panel ended).
  int64_t stepsUntilSweep(Columns columns, int64_t first, int64_t limit);

  /// After stepsUntilSweep returned `sweepAfter`: the waiting terms up to
  /// it, then the sweep if one may act; returns the next step.
  int64_t finishPanel(Columns columns, int64_t sweepAfter);

  /// Pivot row j takes the terms of the panel's earlier steps.
  void bringUpToDate(Columns columns, int64_t j);

  /// Rows below `last` take the terms of steps first_ to `last` outside
  /// the panel's columns.
  void addWaitingTerms(Columns columns, int64_t last);

  /// Whether a sweep would find a zero at some k from `begin` to `end` - 1.
  bool zeroOnDiagonalIn(int64_t begin, int64_t end);

  const isa::Isa& x_;
  float* a_;
  int64_t n_;
  int& sign_;
  int64_t first_ = 0;  // the panel's steps (and columns): first_ to end_ - 1
  int64_t end_ = 0;
  // One block for the packed blocks of the waiting terms, the rows'
  // factors and skips and the mode's room: a large matrix then has them on
  // a few large pages, where each alone would take many small ones.
  pack::Scratch<float> room_;
  float* factors_;  // per row, the factor of each step of the panel
  float* kept_;     // the mode's room: the panel's rows and columns at its start
  uint8_t* skips_;  // per row, 1 where a step left the row alone

 private:
  void eliminateInPanel(int64_t j);
  bool sweepMayAct();
  void updateOutsidePanel(Columns columns, float* target, const float* pivot, float factor);

  std::vector<float> diagonal_;  // a[k][k] up to date, for k beyond the panel
  // For one part and for two, at the start of room_: a call packs for one
  // or the other.
  pack::RowBlocks rowBlocks_;
  gemm::SharedColumns sharedColumns_[2];
};

}  // namespace trelvo::kernels::reduction
