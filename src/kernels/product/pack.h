// Packing for the register tiles: panels of `tile` rows (or columns), with
// the depth index outermost inside a panel, padded with zeros, as the
// variants' block functions read them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "kernels/dispatch.h"

namespace trelvo::kernels::pack {

inline int64_t roundUp(int64_t x, int64_t step) { return (x + step - 1) / step * step; }

/// Floats enough to hold `bytes` bytes (a block of floats that ends with bytes).
inline int64_t floatsHolding(int64_t bytes) { return (bytes + 3) / 4; }

/// A whole panel of Tile rows, the rows side by side: the panel is written
/// in order, where a row at a time would write it Tile times over.
template <int Tile, class T>
void packWholePanel(const T* src, int64_t ld, int64_t depth, T* dst, int64_t step,
                    const T* nextPanel) {
  constexpr int64_t kLine = 64 / sizeof(T);
  const T* row[Tile];
  for (int r = 0; r < Tile; ++r) row[r] = src + r * ld * step;
  for (int64_t l = 0; l < depth; ++l, dst += Tile) {
    // The same stretch of the next panel's rows is fetched meanwhile: a
    // stretch is too short for the processor to see the stream by itself.
    if (nextPanel != nullptr && l * step % kLine == 0) {
      for (int r = 0; r < Tile; ++r) __builtin_prefetch(nextPanel + r * ld * step + l * step);
    }
    for (int r = 0; r < Tile; ++r) dst[r] = row[r][l * step];
  }
}

/// Rows [0, rows) of src, entries [0, depth) of each: entry l of row i at
/// src[(i * ld + l) * step] (step 2 reads one member of a run of pairs).
template <class T>
void packRows(const T* src, int64_t ld, int64_t rows, int64_t depth, int tile, T* dst,
              int64_t step = 1) {
  // The tile height of every variant: its panels go the fast way.
  constexpr int kTile = 6;
  for (int64_t p = 0; p < rows; p += tile, dst += tile * depth) {
    const T* panel = src + p * ld * step;
    const int64_t height = std::min<int64_t>(tile, rows - p);
    if (tile == kTile && height == kTile) {
      const T* next = p + 2 * kTile <= rows ? panel + kTile * ld * step : nullptr;
      packWholePanel<kTile>(panel, ld, depth, dst, step, next);
      continue;
    }
    for (int64_t r = 0; r < height; ++r) {
      for (int64_t l = 0; l < depth; ++l) dst[l * tile + r] = panel[(r * ld + l) * step];
    }
    for (int64_t r = height; r < tile; ++r) {
      for (int64_t l = 0; l < depth; ++l) dst[l * tile + r] = T{};
    }
  }
}

/// Columns [0, cols) of src (row stride ld), rows [0, depth) of each.
inline void packColumns(const float* src, int64_t ld, int64_t depth, int64_t cols, int tile,
                        float* dst) {
  for (int64_t q = 0; q < cols; q += tile) {
    const int64_t width = std::min<int64_t>(tile, cols - q);
    for (int64_t l = 0; l < depth; ++l) {
      const float* from = src + l * ld + q;
      std::copy(from, from + width, dst);
      std::fill(dst + width, dst + tile, 0.0f);
      dst += tile;
    }
  }
}

/// Whether any of the `count` values at p is a NaN.
inline bool hasNaN(const float* p, int64_t count) {
  bool any = false;
  for (int64_t k = 0; k < count; ++k) any |= p[k] != p[k];
  return any;
}

/// A cache line: blocks of room start on one, since a vector load across
/// two lines costs two.
inline constexpr int64_t kLineBytes = 64;
inline constexpr int64_t kLineFloats = kLineBytes / sizeof(float);

/// The first cache line's start at or after p.
template <class T>
T* onLine(T* p) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(p);
  return p + ((kLineBytes - address % kLineBytes) % kLineBytes) / sizeof(T);
}

/// Bytes enough for `bytes`, rounded up to whole large pages (2 MiB on the
/// machines we know) from 64 KiB on: the system backs the tail of a block
/// past its last whole large page with small pages, and on a virtual
/// machine the first touch of each small page costs about ten
/// microseconds, that of a large one about ten times as much.
inline int64_t onWholeLargePages(int64_t bytes) {
  constexpr int64_t kLargePage = int64_t{2} << 20;
  return bytes < kLargePage / 32 ? bytes : roundUp(bytes, kLargePage);
}

/// Room for `count` values, left unset: the pages of a part never written
/// are never touched (a std::vector writes all of them first). They start
/// on a cache line, and from 64 KiB on take whole large pages.
template <class T>
class Scratch {
 public:
  explicit Scratch(int64_t count)
      : values_(std::make_unique_for_overwrite<T[]>(
            (onWholeLargePages(count * int64_t{sizeof(T)}) + kLineBytes) / int64_t{sizeof(T)})) {}
  T* data() { return onLine(values_.get()); }
  const T* data() const { return onLine(values_.get()); }

 private:
  std::unique_ptr<T[]> values_;
};

/// Packed row blocks of up to `depth` terms, and their skips, for each of
/// `parts` parts, in room of roomFloats floats that starts on a cache
/// line: all in one block, the skips (which the product never writes)
/// last. The parts' row blocks of the product then share one large page,
/// where each alone would take small pages.
class RowBlocks {
 public:
  /// For blocks of up to `depth` terms, from `rows` rows in all.
  static int64_t roomFloats(const isa::Isa& x, int64_t depth, int64_t rows, int parts) {
    const int64_t floats = parts * partFloats(x, depth, rows);
    return floats + roundUp(floatsHolding(floats), kLineFloats);
  }
  RowBlocks(const isa::Isa& x, int64_t depth, int64_t rows, int parts, float* room)
      : floats_(partFloats(x, depth, rows)), parts_(parts), room_(room) {}
  float* rows(int part) { return room_ + part * floats_; }
  uint8_t* skips(int part) {
    return reinterpret_cast<uint8_t*>(room_ + parts_ * floats_) + part * floats_;
  }

 private:
  static int64_t partFloats(const isa::Isa& x, int64_t depth, int64_t rows) {
    const int64_t blockRows = std::min(x.shape.blockRows, rows);
    return roundUp(roundUp(blockRows, x.shape.tileRows) * depth, kLineFloats);
  }
  int64_t floats_;  // of one part's row block, and bytes of its skips
  int parts_;
  float* room_;
};

/// Columns of one packed column block of `depth` terms. A shallow block
/// (the reduction's panel of steps) goes as much wider as it is shallower:
/// each row block is then packed once for all the columns, where it would
/// be packed again for every block of the product's width.
inline int64_t blockColumns(const isa::Isa& x, int64_t depth) {
  const isa::Shape& shape = x.shape;
  const int64_t deep = std::clamp<int64_t>(depth, 1, shape.blockDepth);
  const int64_t wider = shape.blockCols * shape.blockDepth / deep;
  return std::max(shape.blockCols, wider / shape.tileCols * shape.tileCols);
}

/// Floats of one packed column block of up to `depth` terms and `width`
/// columns, rounded up to a cache line.
inline int64_t columnBlockFloats(const isa::Isa& x, int64_t depth, int64_t width) {
  return roundUp(roundUp(std::min(width, blockColumns(x, depth)), x.shape.tileCols) * depth,
                 kLineFloats);
}

}  // namespace trelvo::kernels::pack
