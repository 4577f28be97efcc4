// A second core, for work long enough to pay for waking it (about 1 ms):
// one persistent worker thread and the splitting of work between it and the
// calling thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace trelvo::kernels {

/// Whether a second core may take half of long work (on by default); for
/// tests and benchmarks.
void allowSecondCore(bool allow);
bool secondCoreAllowed();

namespace parallel {

/// Work, in multiply-adds, from which two cores share it.
constexpr int64_t kSecondCoreWork = int64_t{24} << 20;

/// The parts (1 or 2) to split `work` multiply-adds into.
int partsFor(int64_t work);

/// Runs task(part) for each of `parts` parts (1 or 2), side by side: part 1
/// on the worker, part 0 here. `parts` comes from partsFor, which gives 2
/// only when the worker runs, so two parts may wait for each other.
void runParts(int parts, const std::function<void(int)>& task);

/// Where the parts of one runParts call wait for each other, as often as
/// they like: each meet() returns once every part has called it as often.
class Meeting {
 public:
  explicit Meeting(int parts) : parts_(parts) {}
  void meet();

 private:
  int parts_;
  std::atomic<int> arrived_ = 0;
  std::atomic<uint32_t> round_ = 0;
};

/// Work [0, count) handed out a piece at a time from both ends, part 0's
/// pieces from the front and part 1's from the back, until they meet. A
/// core slowed by another program on the machine then takes less, and
/// each core's pieces still lie together, in its own cache: on these
/// machines the two cores may share no cache at all.
class FromBothEnds {
 public:
  /// Starts over on [0, count), count < 2^32. No part may take meanwhile.
  void reset(int64_t count);

  /// work(begin, end) for each of part `part`'s pieces: a quarter of
  /// what is left, rounded up to a multiple of `grain`, at least `least`
  /// and at most `most` (both multiples of `grain`).
  template <class Work>
  void eachPiece(int part, int64_t grain, int64_t least, int64_t most, const Work& work) {
    for (;;) {
      const auto [begin, end] = take(part, grain, least, most);
      if (begin == end) return;
      work(begin, end);
    }
  }

 private:
  // Part `part`'s next piece, empty once none is left.
  std::pair<int64_t, int64_t> take(int part, int64_t grain, int64_t least, int64_t most);

  // The front in the low half, the back in the high half: one
  // compare-and-swap moves either.
  std::atomic<uint64_t> ends_ = 0;
};

/// Part `part` of `parts` of [0, count), split at a multiple of `grain`.
inline std::pair<int64_t, int64_t> shareOf(int64_t count, int part, int parts, int64_t grain) {
  const int64_t half = (count / 2 + grain - 1) / grain * grain;
  const int64_t split = parts == 1 ? count : std::min(count, half);
  return part == 0 ? std::pair{int64_t{0}, split} : std::pair{split, count};
}

/// One object per part, each built in place: copies of one would write all
/// their buffers once more (megabytes of fresh pages for the product).
template <class T, class... Args>
std::vector<T> onePerPart(int parts, const Args&... args) {
  std::vector<T> each;
  each.reserve(static_cast<size_t>(parts));
  for (int part = 0; part < parts; ++part) each.emplace_back(args...);
  return each;
}

}  // namespace parallel
}  // namespace trelvo::kernels
