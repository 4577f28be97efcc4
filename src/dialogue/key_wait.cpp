#include "dialogue/key_wait.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace trelvo {
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

}  // namespace

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

}  // namespace trelvo
