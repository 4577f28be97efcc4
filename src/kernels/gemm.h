// The loops around the register tiles, shared by the product and by the
// reduction's update of the rows below a panel: c(i, j) takes the terms of
// a(i, l) and b(l, j), l ascending, block by block, each block packed once
// and handed to the variant's block function.
#pragma once

#include <cstdint>

#include "kernels/dispatch.h"
#include "kernels/pack.h"

namespace trelvo::kernels::gemm {

struct Operands {
  const float* a;  // a(i, l) at a[i * lda + l]
  int64_t lda;
  const uint8_t* skips;  // laid out as `a`, 1 where a term is left out; or null
  const float* b;        // b(l, j) at b[l * ldb + j]
  int64_t ldb;
  float* c;  // c(i, j) at c[i * ldc + j]
  int64_t ldc;
  int64_t depth;    // terms l from 0 to depth - 1
  bool pivotFirst;  // each term b(l, j) * a(i, l), as the reduction takes it
};

/// Rows [firstRow, endRow) and columns [firstCol, endCol) of c take their
/// terms; `buffers` has room for min(depth, the variant's block depth).
void blockLoops(const isa::Isa& x, const Operands& o, int64_t firstRow, int64_t endRow,
                int64_t firstCol, int64_t endCol, pack::Buffers& buffers);

}  // namespace trelvo::kernels::gemm
