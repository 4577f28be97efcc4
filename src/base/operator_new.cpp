// The program's own operator new and delete. A request of a megabyte and
// more (a working copy, the kernels' packed blocks, the residues of a
// large matrix) gets a block of its own from the platform layer, on large
// pages: a fresh large page costs the system about as much as a few small
// ones, so the first pass over a large block goes many times faster.
// Everything else is the C library's, as with the standard operator new.
// Linked into the program and the unit tests, not into the sanitized
// builds, which keep their own.
#include <cstdlib>
#include <new>

#include "base/large_blocks.h"
#include "base/platform.h"

namespace {

constinit trelvo::LargeBlocks largeBlocks;

bool mayBeLarge(std::size_t bytes) {
  return bytes >= static_cast<std::size_t>(trelvo::platform::kLargeBlockBytes);
}

}  // namespace

void* operator new(std::size_t bytes) {
  if (mayBeLarge(bytes)) {
    if (void* block = largeBlocks.take(bytes)) return block;
  }
  for (;;) {
    if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void operator delete(void* p) noexcept {
  if (!largeBlocks.give(p)) std::free(p);
}

void operator delete(void* p, std::size_t bytes) noexcept {
  if (!mayBeLarge(bytes) || !largeBlocks.give(p)) std::free(p);
}
