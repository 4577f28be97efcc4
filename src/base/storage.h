// Storage for the elements of one matrix.
//
// Zero-filled at creation (large blocks come from the system already zero,
// so nothing is touched until it is used). The system grants large blocks
// without backing them, and a program that then fills more than the
// machine's memory is killed; so all the storage held at once is kept
// within the machine's physical memory. When the storage cannot be had,
// creation throws std::bad_alloc; the dialogue turns that into a refusal
// and keeps what it holds.
//
// Blocks of several megabytes come from the platform layer: on Linux
// straight from the system, aligned to and advised for its large pages (a
// 2000 x 2000 block then takes a few dozen page faults instead of
// thousands, and far fewer TLB misses); on Windows a plain allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

namespace trelvo {

/// The most bytes of storage held at once: the machine's physical memory.
int64_t storageCeiling();
/// The bytes of storage held now.
int64_t heldStorage();
/// Counts `bytes` as held, unless that would pass the ceiling.
bool reserveStorage(int64_t bytes);
void releaseStorage(int64_t bytes);

/// `bytes` of zero-filled memory, or nullptr.
void* allocateZeroed(int64_t bytes);
void freeZeroed(void* p, int64_t bytes);

template <class T>
class Storage {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  Storage() = default;
  /// REQUIRES: count >= 0. Throws std::bad_alloc when the storage cannot be
  /// had or would pass the ceiling.
  explicit Storage(int64_t count) : count_(count) {
    if (count < 0 || count > storageCeiling() / static_cast<int64_t>(sizeof(T))) {
      throw std::bad_alloc();
    }
    if (count == 0) return;
    const int64_t bytes = count * static_cast<int64_t>(sizeof(T));
    if (!reserveStorage(bytes)) throw std::bad_alloc();
    data_ = Owned(static_cast<T*>(allocateZeroed(bytes)), Free{bytes});
    if (!data_) {
      releaseStorage(bytes);
      throw std::bad_alloc();
    }
  }

  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  int64_t size() const { return count_; }
  T& operator[](int64_t k) { return data_.get()[k]; }
  const T& operator[](int64_t k) const { return data_.get()[k]; }

 private:
  struct Free {
    int64_t bytes = 0;
    void operator()(T* p) const {
      freeZeroed(p, bytes);
      releaseStorage(bytes);
    }
  };
  using Owned = std::unique_ptr<T, Free>;
  Owned data_;
  int64_t count_ = 0;
};

}  // namespace trelvo
