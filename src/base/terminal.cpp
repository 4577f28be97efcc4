#include "base/terminal.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace trelvo {

#ifdef _WIN32
bool standardErrorIsTerminal() { return _isatty(2) != 0; }
#else
bool standardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }
#endif

}  // namespace trelvo
