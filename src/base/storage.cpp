#include "base/storage.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace trelvo {
namespace {

std::atomic<int64_t> held{0};

int64_t physicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return INT64_MAX;
  return static_cast<int64_t>(pages) * pageSize;
}

constexpr int64_t kLargePage = int64_t{2} << 20;
// From here on a block is mapped on large pages; below it, the C library's
// zero-filled allocation (which maps large requests by itself anyway).
constexpr int64_t kLargeBlock = 4 * kLargePage;

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

bool isLargeBlock(int64_t bytes) { return kMapsLargeBlocks && bytes >= kLargeBlock; }

// The mapping ends at the small page after the block: its last, partial
// large page stays on small pages, so the block holds no memory it does not use.
int64_t mappedLength(int64_t bytes) {
  static const int64_t page = sysconf(_SC_PAGE_SIZE) > 0 ? sysconf(_SC_PAGE_SIZE) : 4096;
  return (bytes + page - 1) / page * page;
}

// Maps one large page more than needed, then returns the unaligned head and
// the tail to the system, so the block starts on a large-page boundary.
void* mapOnLargePages(int64_t bytes) {
  const int64_t length = mappedLength(bytes);
  const size_t mapped = static_cast<size_t>(length + kLargePage);
  void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kLargePage - 1) & ~static_cast<uintptr_t>(kLargePage - 1);
  const size_t head = aligned - start;
  if (head > 0) munmap(raw, head);
  const size_t tail = mapped - head - static_cast<size_t>(length);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
  // Advice only: where the system has no large pages the block stays on small ones.
  madvise(reinterpret_cast<void*>(aligned), static_cast<size_t>(length), MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

void* allocateZeroed(int64_t bytes) {
  if (isLargeBlock(bytes)) return mapOnLargePages(bytes);
  return std::calloc(static_cast<size_t>(bytes), 1);
}

void freeZeroed(void* p, int64_t bytes) {
  if (p == nullptr) return;
  if (isLargeBlock(bytes)) {
    munmap(p, static_cast<size_t>(mappedLength(bytes)));
  } else {
    std::free(p);
  }
}

int64_t storageCeiling() {
  static const int64_t ceiling = physicalMemory();
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
