// TRELVO: an interactive console matrix calculator.
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "base/terminal.h"
#include "dialogue/console.h"
#include "dialogue/dialogue.h"
#include "dialogue/key_wait.h"
#include "dialogue/main_loop.h"

int main() {
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  // A long dialogue (a million typed elements) in few system calls.
  static char outputBuffer[1 << 16];
  static char inputBuffer[1 << 16];
  std::cout.rdbuf()->pubsetbuf(outputBuffer, sizeof outputBuffer);
  std::cin.rdbuf()->pubsetbuf(inputBuffer, sizeof inputBuffer);
  // A closed output ends the run quietly instead of killing it.
  std::signal(SIGPIPE, SIG_IGN);

  trelvo::Console console(std::cin, std::cout);
  bool atTerminal = isatty(STDIN_FILENO);
  console.setFlushBeforeRead(atTerminal);
  trelvo::Dialogue dialogue(console);
  if (atTerminal) dialogue.waitForKey = trelvo::waitForKeyPress;
  if (trelvo::standardErrorIsTerminal()) dialogue.progress = &std::cerr;
  trelvo::runDialogue(dialogue);
  return 0;
}
