// What one run of the dialogue holds beside the working matrix: the
// console, the limit on storage, the scalar of the scalar product, the
// clock that seeds the random fills and their generator.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <new>
#include <ostream>

#include "base/random.h"
#include "base/storage.h"
#include "dialogue/console.h"

namespace trelvo {

/// Largest element count of any one matrix the program allocates by default:
/// the signed 32-bit range.
inline constexpr int64_t kDefaultStorageLimit = INT32_MAX;

struct Dialogue {
  explicit Dialogue(Console& console) : io(console) {}

  Console& io;
  /// Largest element count of one matrix; larger requests are refused.
  int64_t storageLimit = kDefaultStorageLimit;
  /// The scalar of menu choice 1; it lives for the whole run.
  float scalar = 1.0f;
  /// Seconds of calendar time, used to seed the random generator.
  std::function<std::time_t()> clock = [] { return std::time(nullptr); };
  /// The draws of the random fills.
  RandomSequence random;
  /// Where long work draws its line of progress: standard error when it is
  /// a terminal; none (nothing drawn) by default.
  std::ostream* progress = nullptr;
  /// Waits for a key press at the end of the run (nothing, by default).
  std::function<void()> waitForKey = [] {};

  /// Storage for `count` elements, zero-filled.
  /// Throws std::bad_alloc beyond the limit or when it cannot be had.
  template <class T>
  Storage<T> allocate(int64_t count) const {
    if (count > storageLimit) throw std::bad_alloc();
    return Storage<T>(count);
  }
};

}  // namespace trelvo
