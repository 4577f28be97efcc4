// The platform layer on POSIX systems (Linux).
#include <sys/mman.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>

#include "base/platform.h"

namespace trelvo::platform {
namespace {

struct termios savedSettings;
constexpr int kRestoredSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

void restoreTerminal() { tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings); }

// Restores the terminal, then lets the signal do what it would have done.
extern "C" void restoreAndRaise(int signal) {
  restoreTerminal();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void setSignalHandlers(void (*handler)(int)) {
  for (int signal : kRestoredSignals) std::signal(signal, handler);
}

constexpr int64_t kLargePage = int64_t{2} << 20;

int64_t smallPage() {
  static const int64_t page = sysconf(_SC_PAGE_SIZE) > 0 ? sysconf(_SC_PAGE_SIZE) : 4096;
  return page;
}

int64_t roundUp(int64_t bytes, int64_t page) { return (bytes + page - 1) / page * page; }

// A last, partial large page of at least half a large page is mapped whole:
// one fault instead of hundreds on small pages, for at most as much memory
// again. A shorter one stays on small pages, so the block holds little
// memory it does not use.
int64_t mappedLength(int64_t bytes) {
  const int64_t tail = bytes % kLargePage;
  if (tail >= kLargePage / 2) return roundUp(bytes, kLargePage);
  return roundUp(bytes, smallPage());
}

}  // namespace

void prepareStandardStreams() { std::signal(SIGPIPE, SIG_IGN); }

bool inputIsConsole() { return isatty(STDIN_FILENO); }

bool errorIsConsole() { return isatty(STDERR_FILENO); }

void waitForKeyPress() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedSettings) != 0) return;
  struct termios raw = savedSettings;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  setSignalHandlers(restoreAndRaise);
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
    char key;
    while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
    }
    restoreTerminal();
  }
  setSignalHandlers(SIG_DFL);
}

int64_t physicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return INT64_MAX;
  return static_cast<int64_t>(pages) * pageSize;
}

// Maps one large page more than needed, then returns the unaligned head and
// the tail to the system, so the block starts on a large-page boundary.
void* allocateLargeBlock(int64_t bytes) {
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

void freeLargeBlock(void* block, int64_t bytes) {
  munmap(block, static_cast<size_t>(mappedLength(bytes)));
}

}  // namespace trelvo::platform
