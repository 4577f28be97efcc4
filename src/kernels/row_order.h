// Row exchanges kept as an order of rows, and made on the data at once.
//
// A sweep that meets a zero exchanges it with every row below that counts
// as non-zero, one after the other: a rotation of most of the rows below,
// which, made exchange by exchange, moves each of those rows in full. Kept
// as an order (the row of the data standing at each position), the
// exchanges cost nothing, and the data moves once, each row at most once,
// when it is next read in place.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

namespace trelvo::kernels {

class RowOrder {
 public:
  RowOrder() = default;
  explicit RowOrder(int64_t rows) : rows_(rows) {}

  /// The row of the data standing at `position`.
  int64_t at(int64_t position) const { return order_ ? (*order_)[position] : position; }
  /// Whether some row stands away from its own place.
  bool moved() const { return order_ != nullptr; }
  void exchange(int64_t r, int64_t s) {
    if (r == s) return;
    if (!order_) {
      order_ = std::make_shared<std::vector<int64_t>>(static_cast<size_t>(rows_));
      std::iota(order_->begin(), order_->end(), int64_t{0});
    } else if (order_.use_count() > 1) {
      order_ = std::make_shared<std::vector<int64_t>>(*order_);
    }
    std::swap((*order_)[r], (*order_)[s]);
  }
  /// The order as it stands, unchanged by later exchanges (none when no
  /// row has moved): for work that takes the rows where they stood.
  std::shared_ptr<const std::vector<int64_t>> snapshot() const { return order_; }

  /// Moves the rows of `a` (row-major, `cols` wide) into this order, each
  /// row at most once, and leaves every row at its own place.
  template <class T>
  void applyTo(T* a, int64_t cols) {
    if (!order_) return;
    applyOrder(*order_, a, rows_, cols);
    order_.reset();
  }

  /// Row k of `a` becomes the row that stood at order[k]: the rows of each
  /// cycle of the order move along it, the first one through a spare row.
  template <class T>
  static void applyOrder(const std::vector<int64_t>& order, T* a, int64_t rows, int64_t cols) {
    std::vector<char> done(static_cast<size_t>(rows), 0);
    std::vector<T> spare(static_cast<size_t>(cols));
    for (int64_t start = 0; start < rows; ++start) {
      if (done[start] || order[start] == start) continue;
      T* const startRow = a + start * cols;
      std::copy(startRow, startRow + cols, spare.begin());
      int64_t k = start;
      for (int64_t from = order[k]; from != start; k = from, from = order[k]) {
        std::copy(a + from * cols, a + (from + 1) * cols, a + k * cols);
        done[k] = 1;
      }
      std::copy(spare.begin(), spare.end(), a + k * cols);
      done[k] = 1;
    }
  }

 private:
  int64_t rows_ = 0;
  // None while every row is at its own place; shared with the snapshots
  // taken of it until the next exchange.
  std::shared_ptr<std::vector<int64_t>> order_;
};

}  // namespace trelvo::kernels
