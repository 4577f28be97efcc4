#include "base/random.h"

namespace trelvo {

void RandomSequence::reseed(uint32_t seed) {
  if (seed == 0) seed = 1;
  // glibc keeps the state in signed 32-bit words and steps the seed's
  // multiples by Schrage's method, which stays within them.
  int32_t word = static_cast<int32_t>(seed);
  state_[0] = seed;
  for (int k = 1; k < kDegree; ++k) {
    const int32_t high = word / 127773;
    const int32_t low = word % 127773;
    word = 16807 * low - 2836 * high;
    if (word < 0) word += 2147483647;
    state_[k] = static_cast<uint32_t>(word);
  }
  front_ = kSeparation;
  rear_ = 0;
  for (int k = 0; k < 10 * kDegree; ++k) next();
}

}  // namespace trelvo
