#include "kernels/product/gemm.h"

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
                           int64_t kc, uint8_t* room) {
  if (o.skips == nullptr) return nullptr;
  bool anySkip = false;
  for (int64_t i = ic; i < ic + mc && !anySkip; ++i) {
    const uint8_t* skips = o.skips + i * o.lda + pc;
    anySkip = std::find(skips, skips + kc, 1) != skips + kc;
  }
  if (!anySkip) return nullptr;
  pack::packRows(o.skips + ic * o.lda + pc, o.lda, mc, kc, x.shape.tileRows, room);
  return room;
}

}  // namespace

// One part packs alone into the first buffer.
SharedColumns::SharedColumns(const isa::Isa& x, int64_t depth, int64_t width, int parts,
                             float* room)
    : parts_(parts),
      meeting_(parts),
      blocks_{room, room + (parts == 1 ? 0 : pack::columnBlockFloats(x, depth, width))} {}

SharedBlock SharedColumns::pack(const isa::Isa& x, const Operands& o, int64_t jc, int64_t nc,
                                int64_t pc, int64_t kc, int64_t rows, int part) {
  const int64_t tileCols = x.shape.tileCols;
  const int turn = turn_[part];
  turn_[part] = parts_ == 1 ? 0 : 1 - turn;
  float* block = blocks_[turn];
  auto [firstPanel, endPanel] = parallel::shareOf((nc + tileCols - 1) / tileCols, part, parts_, 1);
  const int64_t first = firstPanel * tileCols;
  const int64_t width = std::min(nc, endPanel * tileCols) - first;
  float* share = block + first * kc;
  if (width > 0) {
    pack::packColumns(o.b + pc * o.ldb + jc + first, o.ldb, kc, width, tileCols, share);
  }
  hasNaN_[turn][part] =
      !o.pivotFirst && width > 0 && pack::hasNaN(share, pack::roundUp(width, tileCols) * kc);
  // The other part has left the block before the last in this buffer: it
  // met this one at the last block.
  if (part == 0) rows_[turn].reset(rows);
  meeting_.meet();
  return {block, hasNaN_[turn][0] || (parts_ == 2 && hasNaN_[turn][1]), &rows_[turn]};
}

void blockLoops(const isa::Isa& x, const Operands& o, int64_t firstRow, int64_t endRow,
                int64_t firstCol, int64_t endCol, int part, SharedColumns& columns,
                pack::RowBlocks& rowBlocks) {
  const isa::Shape& shape = x.shape;
  float* rows = rowBlocks.rows(part);
  const int64_t blockCols = pack::blockColumns(x, std::min(o.depth, shape.blockDepth));
  // Two parts' last pieces are small, to even out their ends, but hold a
  // few row panels each: each piece reads every column panel once more.
  const int64_t leastRows = columns.parts() == 1
                                ? shape.blockRows
                                : std::min<int64_t>(8 * shape.tileRows, shape.blockRows);
  for (int64_t jc = firstCol; jc < endCol; jc += blockCols) {
    const int64_t nc = std::min(blockCols, endCol - jc);
    for (int64_t pc = 0; pc < o.depth; pc += shape.blockDepth) {
      const int64_t kc = std::min(shape.blockDepth, o.depth - pc);
      const SharedBlock block = columns.pack(x, o, jc, nc, pc, kc, endRow - firstRow, part);
      block.rows->eachPiece(
          part, shape.tileRows, leastRows, shape.blockRows, [&](int64_t begin, int64_t end) {
            const int64_t ic = firstRow + begin;
            const int64_t mc = end - begin;
            pack::packRows(o.a + (ic * o.lda + pc) * o.aStep, o.lda, mc, kc, shape.tileRows, rows,
                           o.aStep);
            float* c = o.c + ic * o.ldc + jc;
            if (o.pivotFirst) {
              const uint8_t* skips = packedSkips(x, o, ic, mc, pc, kc, rowBlocks.skips(part));
              x.updateBlock(mc, nc, kc, rows, block.packed, skips, c, o.ldc);
            } else {
              // Only a term with NaN in both operands shows which came first.
              const bool eitherOrder =
                  !block.hasNaN || !pack::hasNaN(rows, pack::roundUp(mc, shape.tileRows) * kc);
              x.productBlock(mc, nc, kc, rows, block.packed, eitherOrder,
                             o.cStartsAtZero && pc == 0, c, o.ldc);
            }
          });
    }
  }
}

}  // namespace gemm

namespace blocked {

void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner, int64_t cols2,
              int64_t fStep) {
  const isa::Isa& x = activeIsa();
  const int parts = parallel::partsFor(rows * inner * cols2);
  // One block of room: the packed columns, then the rows, their skips
  // (never written here) last.
  const int64_t depth = x.shape.blockDepth;
  const int64_t columnFloats = gemm::SharedColumns::roomFloats(x, depth, cols2, parts);
  pack::Scratch<float> room(columnFloats + pack::RowBlocks::roomFloats(x, depth, rows, parts));
  gemm::SharedColumns columns(x, depth, cols2, parts, room.data());
  pack::RowBlocks rowBlocks(x, depth, rows, parts, room.data() + columnFloats);
  const gemm::Operands operands{f, inner, nullptr, s, cols2, p, cols2, inner, false, fStep, true};
  parallel::runParts(parts, [&](int part) {
    gemm::blockLoops(x, operands, 0, rows, 0, cols2, part, columns, rowBlocks);
  });
}

}  // namespace blocked
}  // namespace trelvo::kernels
