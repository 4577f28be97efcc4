// The platform layer on Windows.
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "base/platform.h"

namespace trelvo::platform {

// A console handle has a console mode; a file, a pipe or the NUL device
// (which _isatty takes for a terminal) has none.
bool inputIsConsole() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool errorIsConsole() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// Output in text mode, so a redirected dialogue has Windows line ends as
// every Windows tool writes them. Input from a file or a pipe in binary
// mode, read byte for byte as on every other system ("\r\n" is white space
// to the reader, and a Ctrl-Z byte is no end of input); at a console in
// text mode, where Ctrl-Z then Enter ends the input.
void prepareStandardStreams() {
  _setmode(_fileno(stdout), _O_TEXT);
  if (!inputIsConsole()) _setmode(_fileno(stdin), _O_BINARY);
}

void waitForKeyPress() {
  if (inputIsConsole()) _getch();
}

int64_t physicalMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status) || status.ullTotalPhys > INT64_MAX) return INT64_MAX;
  return static_cast<int64_t>(status.ullTotalPhys);
}

// Large pages need a privilege that ordinary users lack: a plain zeroed
// allocation, which the system grants page by page as it is touched.
void* allocateLargeBlock(int64_t bytes) { return std::calloc(static_cast<size_t>(bytes), 1); }

void freeLargeBlock(void* block, int64_t) { std::free(block); }

}  // namespace trelvo::platform
