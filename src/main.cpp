// TRELVO: an interactive console matrix calculator.
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "dialogue/console.h"
#include "dialogue/dialogue.h"
#include "dialogue/key_wait.h"
#include "dialogue/main_loop.h"

int main() {
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  // A closed output ends the run quietly instead of killing it.
  std::signal(SIGPIPE, SIG_IGN);

  trelvo::Console console(std::cin, std::cout);
  bool atTerminal = isatty(STDIN_FILENO);
  console.setFlushBeforeRead(atTerminal);
  trelvo::Dialogue dialogue(console);
  if (atTerminal) dialogue.waitForKey = trelvo::waitForKeyPress;
  trelvo::runDialogue(dialogue);
  return 0;
}
