// What the program asks of the terminal beyond reading and writing.
#pragma once

namespace trelvo {

/// Whether standard error is a terminal, where a line of progress can be
/// drawn and erased again (never on a pipe or in a file).
bool standardErrorIsTerminal();

}  // namespace trelvo
