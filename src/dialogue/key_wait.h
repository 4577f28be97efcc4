// The wait for a key press that ends a run at a terminal.
#pragma once

namespace trelvo {

/// Waits for one key press on the terminal of standard input, without echo
/// and without Enter, then restores the terminal's settings (also when the
/// wait is interrupted by a signal). Returns at once when standard input is
/// not a terminal.
void waitForKeyPress();

}  // namespace trelvo
