#include "base/large_blocks.h"

#include "base/platform.h"

namespace trelvo {

void* LargeBlocks::take(std::size_t bytes) {
  for (Slot& slot : slots_) {
    void* expected = nullptr;
    // A slot is claimed before the block exists, so no two callers take it.
    if (!slot.block.compare_exchange_strong(expected, &slot)) continue;
    void* block = platform::allocateLargeBlock(static_cast<int64_t>(bytes));
    if (block == nullptr) {
      slot.block.store(nullptr);
      return nullptr;
    }
    slot.bytes.store(bytes);
    live_.fetch_add(1);
    slot.block.store(block);
    return block;
  }
  return nullptr;
}

bool LargeBlocks::give(void* p) {
  if (p == nullptr || live_.load() == 0) return false;
  for (Slot& slot : slots_) {
    if (slot.block.load() != p) continue;
    platform::freeLargeBlock(p, static_cast<int64_t>(slot.bytes.load()));
    live_.fetch_sub(1);
    slot.block.store(nullptr);
    return true;
  }
  return false;
}

}  // namespace trelvo
