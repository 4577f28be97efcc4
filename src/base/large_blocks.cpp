#include "base/large_blocks.h"

#include <cstdint>

#include "base/platform.h"

namespace trelvo {

void* LargeBlocks::take(std::size_t bytes) {
  // Past this no machine has the memory, and the block's length rounded up
  // to whole pages would overflow.
  if (bytes > static_cast<std::size_t>(INT64_MAX / 2)) return nullptr;
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
    // The slot is freed before the block: once unmapped, the block's
    // address may come back from the system to a take of another thread,
    // and no slot may still name it then.
    const std::size_t bytes = slot.bytes.load();
    slot.block.store(nullptr);
    live_.fetch_sub(1);
    platform::freeLargeBlock(p, static_cast<int64_t>(bytes));
    return true;
  }
  return false;
}

}  // namespace trelvo
