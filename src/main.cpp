// TRELVO: an interactive console matrix calculator.
#include <iostream>

#include "base/platform.h"
#include "dialogue/console.h"
#include "dialogue/dialogue.h"
#include "dialogue/main_loop.h"

int main() {
  trelvo::platform::prepareStandardStreams();
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  // A long dialogue (a million typed elements) in few system calls.
  static char outputBuffer[1 << 16];
  static char inputBuffer[1 << 16];
  std::cout.rdbuf()->pubsetbuf(outputBuffer, sizeof outputBuffer);
  std::cin.rdbuf()->pubsetbuf(inputBuffer, sizeof inputBuffer);

  trelvo::Console console(std::cin, std::cout);
  bool atConsole = trelvo::platform::inputIsConsole();
  console.setFlushBeforeRead(atConsole);
  trelvo::Dialogue dialogue(console);
  if (atConsole) dialogue.waitForKey = trelvo::platform::waitForKeyPress;
  if (trelvo::platform::errorIsConsole()) dialogue.progress = &std::cerr;
  trelvo::runDialogue(dialogue);
  return 0;
}
