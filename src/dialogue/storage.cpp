#include "dialogue/storage.h"

#include <unistd.h>

#include <atomic>

namespace trelvo {
namespace {

std::atomic<int64_t> held{0};

int64_t physicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return INT64_MAX;
  return static_cast<int64_t>(pages) * pageSize;
}

}  // namespace

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
