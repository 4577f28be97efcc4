#include "kernels/gemm.h"

#include <algorithm>
#include <vector>

#include "kernels/kernels.h"
#include "kernels/parallel.h"

namespace trelvo::kernels {
namespace gemm {
namespace {

// The packed skips of rows [ic, ic + mc), terms [pc, pc + kc); null when no
// term of theirs is left out.
const uint8_t* packedSkips(const isa::Isa& x, const Operands& o, int64_t ic, int64_t mc, int64_t pc,
                           int64_t kc, pack::Buffers& buffers) {
  if (o.skips == nullptr) return nullptr;
  bool anySkip = false;
  for (int64_t i = ic; i < ic + mc && !anySkip; ++i) {
    const uint8_t* skips = o.skips + i * o.lda + pc;
    anySkip = std::find(skips, skips + kc, 1) != skips + kc;
  }
  if (!anySkip) return nullptr;
  pack::packRows(o.skips + ic * o.lda + pc, o.lda, mc, kc, x.shape.tileRows,
                 buffers.rowSkips.data());
  return buffers.rowSkips.data();
}

}  // namespace

void blockLoops(const isa::Isa& x, const Operands& o, int64_t firstRow, int64_t endRow,
                int64_t firstCol, int64_t endCol, pack::Buffers& buffers) {
  const isa::Shape& shape = x.shape;
  for (int64_t jc = firstCol; jc < endCol; jc += shape.blockCols) {
    const int64_t nc = std::min(shape.blockCols, endCol - jc);
    for (int64_t pc = 0; pc < o.depth; pc += shape.blockDepth) {
      const int64_t kc = std::min(shape.blockDepth, o.depth - pc);
      pack::packColumns(o.b + pc * o.ldb + jc, o.ldb, kc, nc, shape.tileCols, buffers.cols.data());
      const bool columnsHaveNaN =
          !o.pivotFirst && pack::hasNaN(buffers.cols.data(), pack::roundUp(nc, shape.tileCols) * kc);
      for (int64_t ic = firstRow; ic < endRow; ic += shape.blockRows) {
        const int64_t mc = std::min(shape.blockRows, endRow - ic);
        pack::packRows(o.a + ic * o.lda + pc, o.lda, mc, kc, shape.tileRows, buffers.rows.data());
        float* c = o.c + ic * o.ldc + jc;
        if (o.pivotFirst) {
          const uint8_t* skips = packedSkips(x, o, ic, mc, pc, kc, buffers);
          x.updateBlock(mc, nc, kc, buffers.rows.data(), buffers.cols.data(), skips, c, o.ldc);
        } else {
          // Only a term with NaN in both operands shows which came first.
          const bool eitherOrder =
              !columnsHaveNaN ||
              !pack::hasNaN(buffers.rows.data(), pack::roundUp(mc, shape.tileRows) * kc);
          x.productBlock(mc, nc, kc, buffers.rows.data(), buffers.cols.data(), eitherOrder, c,
                         o.ldc);
        }
      }
    }
  }
}

}  // namespace gemm

namespace blocked {

void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner,
              int64_t cols2) {
  const isa::Isa& x = activeIsa();
  const int parts = parallel::partsFor(rows * inner * cols2);
  std::vector<pack::Buffers> buffers =
      parallel::onePerPart<pack::Buffers>(parts, x, x.shape.blockDepth);
  const gemm::Operands operands{f, inner, nullptr, s, cols2, p, cols2, inner, false};
  parallel::runParts(parts, [&](int part) {
    auto [first, end] = parallel::shareOf(rows, part, parts, x.shape.tileRows);
    std::fill(p + first * cols2, p + end * cols2, 0.0f);
    gemm::blockLoops(x, operands, first, end, 0, cols2, buffers[part]);
  });
}

}  // namespace blocked
}  // namespace trelvo::kernels
