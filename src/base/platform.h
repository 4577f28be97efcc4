// What the program needs from the operating system, in one small layer:
// the console, the machine's memory and large blocks of zeroed memory.
// Each system has its own file (platform_posix.cpp, platform_windows.cpp);
// nothing else in the program calls the system directly.
#pragma once

#include <cstdint>

namespace trelvo::platform {

/// Sets up the standard streams before any use: the output as text (with
/// the system's own line ends), the input read byte for byte, and a closed
/// output that ends the run quietly instead of killing it.
void prepareStandardStreams();

/// Whether standard input is a console someone types at.
bool inputIsConsole();

/// Whether standard error is a console, where a line of progress can be
/// drawn and erased again (never a pipe or a file).
bool errorIsConsole();

/// Waits for one key press at the console of standard input, without echo
/// and without Enter, leaving the console as it was (also when the wait is
/// interrupted by a signal). Returns at once when the input is no console.
void waitForKeyPress();

/// The machine's physical memory in bytes, or INT64_MAX when unknown.
int64_t physicalMemory();

/// From this size on a block is worth mapping on its own, on large pages.
inline constexpr int64_t kLargeBlockBytes = int64_t{1} << 20;

/// `bytes` (kLargeBlockBytes or more) of zeroed memory for one block, on
/// large pages where the system has them; nullptr when it cannot be had.
void* allocateLargeBlock(int64_t bytes);
/// Returns a block of allocateLargeBlock(bytes) to the system.
void freeLargeBlock(void* block, int64_t bytes);

}  // namespace trelvo::platform
