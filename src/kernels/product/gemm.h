// product/: the block product, for the product of two matrices and for
// the reduction's update of the rows below a panel. pack.h packs the
// blocks; gemm.* runs the loops around the register tiles, which are each
// instruction set's own (isa/tile.inc).
//
// The loops around the register tiles, shared by the product and by the
// reduction's update of the rows below a panel: c(i, j) takes the terms of
// a(i, l) and b(l, j), l ascending, block by block, each block packed once
// and handed to the variant's block function.
#pragma once

#include <cstdint>
#include <utility>

#include "kernels/dispatch.h"
#include "kernels/parallel.h"
#include "kernels/product/pack.h"

namespace trelvo::kernels::gemm {

struct Operands {
  const float* a;  // a(i, l) at a[(i * lda + l) * aStep]
  int64_t lda;
  const uint8_t* skips;  // laid out as `a`, 1 where a term is left out; or null
  const float* b;        // b(l, j) at b[l * ldb + j]
  int64_t ldb;
  float* c;  // c(i, j) at c[i * ldc + j]
  int64_t ldc;
  int64_t depth;    // terms l from 0 to depth - 1
  bool pivotFirst;  // each term b(l, j) * a(i, l), as the reduction takes it
  int64_t aStep = 1;
  // c holds no value yet: each element starts at +0.0 (the product's own
  // start) instead of being read.
  bool cStartsAtZero = false;
};

/// A packed column block, shared by the parts, and its rows to take.
struct SharedBlock {
  const float* packed;
  bool hasNaN;  // unless the operands' pivotFirst
  parallel::FromBothEnds* rows;
};

/// The column blocks of the parts of one runParts call: each block is
/// packed once, its column panels split between the parts, into one of two
/// buffers in turn, so that a part may pack the next block while the other
/// still reads the last. The parts take each block's rows from both ends.
class SharedColumns {
 public:
  /// Floats of room for `parts` parts' blocks of up to `depth` terms and
  /// `width` columns.
  static int64_t roomFloats(const isa::Isa& x, int64_t depth, int64_t width, int parts) {
    return (parts == 1 ? 1 : 2) * pack::columnBlockFloats(x, depth, width);
  }
  /// Packs into `room`, of roomFloats floats, which starts on a cache line.
  SharedColumns(const isa::Isa& x, int64_t depth, int64_t width, int parts, float* room);

  /// Part `part` packs its share of columns [jc, jc + nc), terms
  /// [pc, pc + kc), of o.b, then waits for the others' shares; returns the
  /// packed block, and rows [0, rows) to take.
  SharedBlock pack(const isa::Isa& x, const Operands& o, int64_t jc, int64_t nc, int64_t pc,
                   int64_t kc, int64_t rows, int part);

  int parts() const { return parts_; }

 private:
  int parts_;
  parallel::Meeting meeting_;
  float* blocks_[2];
  parallel::FromBothEnds rows_[2];  // per buffer
  bool hasNaN_[2][2] = {};          // per buffer, per part
  int turn_[2] = {};                // per part, the buffer it packs next
};

/// Part `part` of a runParts call: rows [firstRow, endRow) and columns
/// [firstCol, endCol) of c take their terms, each block's rows taken a
/// piece at a time from both ends; `rowBlocks` (its part's room) and
/// `columns` (shared) have room for min(depth, the variant's block depth).
/// Every part calls it with the same rows and columns.
void blockLoops(const isa::Isa& x, const Operands& o, int64_t firstRow, int64_t endRow,
                int64_t firstCol, int64_t endCol, int part, SharedColumns& columns,
                pack::RowBlocks& rowBlocks);

}  // namespace trelvo::kernels::gemm
