#include "base/storage.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "base/platform.h"

namespace trelvo {
namespace {

std::atomic<int64_t> held{0};

#if defined(__SANITIZE_ADDRESS__)
#define TRELVO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRELVO_ADDRESS_SANITIZER 1
#endif
#endif

// Under AddressSanitizer every block comes from the C library, whose
// allocations the sanitizer watches and limits.
#ifdef TRELVO_ADDRESS_SANITIZER
constexpr bool kMapsLargeBlocks = false;
#else
constexpr bool kMapsLargeBlocks = true;
#endif

// From a megabyte on a block comes from the system on large pages; below
// it, the C library's zero-filled allocation.
bool isLargeBlock(int64_t bytes) { return kMapsLargeBlocks && bytes >= platform::kLargeBlockBytes; }

}  // namespace

void* allocateZeroed(int64_t bytes) {
  if (isLargeBlock(bytes)) return platform::allocateLargeBlock(bytes);
  return std::calloc(static_cast<size_t>(bytes), 1);
}

void freeZeroed(void* p, int64_t bytes) {
  if (p == nullptr) return;
  if (isLargeBlock(bytes)) {
    platform::freeLargeBlock(p, bytes);
  } else {
    std::free(p);
  }
}

int64_t storageCeiling() {
  static const int64_t ceiling = platform::physicalMemory();
  return ceiling;
}

int64_t heldStorage() { return held.load(); }

bool reserveStorage(int64_t bytes) {
  int64_t now = held.load();
  do {
    if (bytes > storageCeiling() - now) return false;
  } while (!held.compare_exchange_weak(now, now + bytes));
  return true;
}

void releaseStorage(int64_t bytes) { held -= bytes; }

}  // namespace trelvo
