// Storage for the elements of one matrix.
//
// Zero-filled at creation (large blocks come from the system already zero,
// so nothing is touched until it is used). When the storage cannot be had,
// or the count exceeds the dialogue's limit, creation throws std::bad_alloc;
// the dialogue turns that into a refusal and keeps what it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>

namespace trelvo {

template <class T>
class Storage {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  Storage() = default;
  explicit Storage(int64_t count) : count_(count) {
    if (count < 0 || static_cast<uint64_t>(count) > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    if (count > 0) {
      data_.reset(static_cast<T*>(std::calloc(static_cast<size_t>(count), sizeof(T))));
      if (!data_) throw std::bad_alloc();
    }
  }

  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  int64_t size() const { return count_; }
  T& operator[](int64_t k) { return data_.get()[k]; }
  const T& operator[](int64_t k) const { return data_.get()[k]; }

 private:
  struct Free {
    void operator()(T* p) const { std::free(p); }
  };
  std::unique_ptr<T, Free> data_;
  int64_t count_ = 0;
};

}  // namespace trelvo
