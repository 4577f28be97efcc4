#include "kernels/parallel.h"

#ifdef __linux__
#include <sched.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace trelvo::kernels {
namespace {

bool& secondCoreSwitch() {
  static bool allowed = true;
  return allowed;
}

// A hint to the processor that this thread is waiting in a loop.
inline void pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// Waking a sleeping thread costs tens of microseconds, and the reduction
// hands work over once a panel: a waiting thread first watches for this
// long before it sleeps.
constexpr auto kSpin = std::chrono::microseconds(100);

// One persistent thread: starting a thread per call would cost a good part
// of what the split saves.
class Worker {
 public:
  ~Worker() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

  /// Runs task(1) on the worker and task(0) here; returns when both are
  /// done. REQUIRES: started().
  void runPair(const std::function<void(int)>& task) {
    uint64_t posted = 0;
    {
      std::lock_guard lock(mutex_);
      task_ = &task;
      posted = posted_.load(std::memory_order_relaxed) + 1;
      posted_.store(posted, std::memory_order_release);
    }
    wake_.notify_one();
    task(0);
    waitUntil(done_, [&] { return finished_.load(std::memory_order_acquire) == posted; });
  }

  /// Whether the thread runs, started now if it did not.
  bool started() {
    if (thread_.joinable()) return true;
    try {
      thread_ = std::thread([this] { serve(); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

 private:
  // Watches `ready` for a while, then sleeps on `signal` until it holds.
  template <class Ready>
  void waitUntil(std::condition_variable& signal, const Ready& ready) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    while (!ready()) {
      if (std::chrono::steady_clock::now() > until) {
        std::unique_lock lock(mutex_);
        signal.wait(lock, ready);
        return;
      }
      pause();
    }
  }

  void serve() {
    uint64_t seen = 0;
    for (;;) {
      waitUntil(wake_, [&] {
        return stop_.load(std::memory_order_relaxed) ||
               posted_.load(std::memory_order_acquire) != seen;
      });
      if (stop_.load(std::memory_order_relaxed)) return;
      const std::function<void(int)>* task = nullptr;
      {
        std::lock_guard lock(mutex_);
        seen = posted_.load(std::memory_order_relaxed);
        task = task_;
      }
      (*task)(1);
      {
        std::lock_guard lock(mutex_);
        finished_.store(seen, std::memory_order_release);
      }
      done_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::thread thread_;
  const std::function<void(int)>* task_ = nullptr;
  // Changed under the mutex, read without it while watching.
  std::atomic<uint64_t> posted_ = 0;
  std::atomic<uint64_t> finished_ = 0;
  std::atomic<bool> stop_ = false;
};

// The processors this process may run on (as taskset or a container's
// cpuset leave them), not only those the machine has: a second thread on
// the same processor would only take turns with the first.
int usableCores() {
#ifdef __linux__
  cpu_set_t usable;
  if (sched_getaffinity(0, sizeof usable, &usable) == 0) return CPU_COUNT(&usable);
#endif
  return static_cast<int>(std::thread::hardware_concurrency());
}

Worker& worker() {
  static Worker one;
  return one;
}

}  // namespace

void allowSecondCore(bool allow) { secondCoreSwitch() = allow; }
bool secondCoreAllowed() { return secondCoreSwitch(); }

namespace parallel {

int partsFor(int64_t work) {
  static const bool twoCores = usableCores() > 1;
  return secondCoreAllowed() && twoCores && work >= kSecondCoreWork && worker().started() ? 2 : 1;
}

void runParts(int parts, const std::function<void(int)>& task) {
  if (parts == 1) {
    task(0);
  } else {
    worker().runPair(task);
  }
}

void FromBothEnds::reset(int64_t count) {
  ends_.store(static_cast<uint64_t>(count) << 32, std::memory_order_relaxed);
}

std::pair<int64_t, int64_t> FromBothEnds::take(int part, int64_t grain, int64_t least,
                                               int64_t most) {
  uint64_t ends = ends_.load(std::memory_order_relaxed);
  for (;;) {
    const int64_t front = static_cast<int64_t>(ends & 0xffffffffu);
    const int64_t back = static_cast<int64_t>(ends >> 32);
    if (front >= back) return {back, back};
    const int64_t quarter = ((back - front) / 4 + grain - 1) / grain * grain;
    const int64_t size = std::min(std::clamp(quarter, least, most), back - front);
    const auto [begin, end] =
        part == 0 ? std::pair{front, front + size} : std::pair{back - size, back};
    const uint64_t taken = part == 0
                               ? static_cast<uint64_t>(back) << 32 | static_cast<uint64_t>(end)
                               : static_cast<uint64_t>(begin) << 32 | static_cast<uint64_t>(front);
    if (ends_.compare_exchange_weak(ends, taken, std::memory_order_relaxed)) return {begin, end};
  }
}

void Meeting::meet() {
  if (parts_ == 1) return;
  const uint32_t round = round_.load(std::memory_order_acquire);
  if (arrived_.fetch_add(1, std::memory_order_acq_rel) + 1 == parts_) {
    arrived_.store(0, std::memory_order_relaxed);
    round_.store(round + 1, std::memory_order_release);
    return;
  }
  // The other part may have lost its processor: past the spin, this one
  // gives its own away while it waits.
  const auto until = std::chrono::steady_clock::now() + kSpin;
  while (round_.load(std::memory_order_acquire) == round) {
    if (std::chrono::steady_clock::now() > until) {
      std::this_thread::yield();
    } else {
      pause();
    }
  }
}

}  // namespace parallel
}  // namespace trelvo::kernels
