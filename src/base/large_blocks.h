// The blocks that the program's operator new takes for large requests
// straight from the platform layer (on large pages where the system has
// them), and the table that tells them apart from the C library's when they
// are given back.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace trelvo {

class LargeBlocks {
 public:
  static constexpr int kSlots = 64;

  /// A block of `bytes` from the platform layer, or nullptr when it cannot
  /// be had or every slot of the table is taken. Takes nothing from the
  /// free store, so operator new may call it.
  void* take(std::size_t bytes);
  /// Gives `p` back to the platform layer when it is one of this table's
  /// blocks; false, with nothing done, when it is not.
  bool give(void* p);

 private:
  struct Slot {
    std::atomic<void*> block{nullptr};
    std::atomic<std::size_t> bytes{0};
  };
  // Whether any slot may hold a block: most pointers given back are the
  // C library's, and this spares them the search.
  std::atomic<int> live_{0};
  Slot slots_[kSlots];
};

}  // namespace trelvo
