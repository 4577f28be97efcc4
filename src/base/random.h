// The random draws of the fills: the sequence of the GNU C library's
// srand()/rand(), computed here so that a seed gives the same draws on every
// platform (other C libraries have other generators) and so that a draw
// takes no lock (rand() takes one on every call once a second thread
// exists).
//
// The generator is glibc's additive feedback generator of degree 31 and
// separation 3: r[i] = r[i - 3] + r[i - 31] modulo 2^32, each draw r[i] >> 1.
// A seed s fills r[0..30] by r[0] = s, r[k] = 16807 r[k - 1] mod (2^31 - 1),
// and the first 310 draws are discarded.
#pragma once

#include <cstdint>

namespace trelvo {

class RandomSequence {
 public:
  /// The draws rand() gives before any srand(): as after srand(1).
  RandomSequence() { reseed(1); }
  explicit RandomSequence(uint32_t seed) { reseed(seed); }

  /// Starts again where rand() starts after srand(seed).
  void reseed(uint32_t seed);

  /// The next draw, from 0 to 2^31 - 1.
  int32_t next() {
    const uint32_t sum = state_[front_] += state_[rear_];
    front_ = front_ + 1 == kDegree ? 0 : front_ + 1;
    rear_ = rear_ + 1 == kDegree ? 0 : rear_ + 1;
    return static_cast<int32_t>(sum >> 1);
  }

 private:
  static constexpr int kDegree = 31;
  static constexpr int kSeparation = 3;

  uint32_t state_[kDegree];
  int front_ = kSeparation;
  int rear_ = 0;
};

}  // namespace trelvo
