#include "kernels/parallel.h"

#ifdef __linux__
#include <sched.h>
#endif

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
  /// done.
  void runPair(const std::function<void(int)>& task) {
    if (!started()) {
      task(0);
      task(1);
      return;
    }
    {
      std::lock_guard lock(mutex_);
      task_ = &task;
      ++posted_;
    }
    wake_.notify_one();
    task(0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return finished_ == posted_; });
  }

 private:
  bool started() {
    if (thread_.joinable()) return true;
    try {
      thread_ = std::thread([this] { serve(); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  void serve() {
    uint64_t seen = 0;
    for (;;) {
      const std::function<void(int)>* task = nullptr;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || posted_ != seen; });
        if (stop_) return;
        seen = posted_;
        task = task_;
      }
      (*task)(1);
      {
        std::lock_guard lock(mutex_);
        finished_ = seen;
      }
      done_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::thread thread_;
  const std::function<void(int)>* task_ = nullptr;
  uint64_t posted_ = 0;
  uint64_t finished_ = 0;
  bool stop_ = false;
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

}  // namespace

void allowSecondCore(bool allow) { secondCoreSwitch() = allow; }
bool secondCoreAllowed() { return secondCoreSwitch(); }

namespace parallel {

int partsFor(int64_t work) {
  static const bool twoCores = usableCores() > 1;
  return secondCoreAllowed() && twoCores && work >= kSecondCoreWork ? 2 : 1;
}

void runParts(int parts, const std::function<void(int)>& task) {
  static Worker worker;
  if (parts == 1) {
    task(0);
  } else {
    worker.runPair(task);
  }
}

}  // namespace parallel
}  // namespace trelvo::kernels
