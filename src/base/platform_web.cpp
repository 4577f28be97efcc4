// The platform layer in WebAssembly (emscripten). In a web page the console
// is the page's terminal (web/terminal.js): a read waits for a line typed
// there, the end's key wait for one key, and what the program writes goes
// there at once (the page's program never exits, so nothing is left to
// flush at its end). Under node, standard input and output are node's own,
// read and written as on any other system.
#include <emscripten/heap.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <streambuf>

#include "base/platform.h"

// From web/library.js.
extern "C" {
// Whether the program runs in the page, with its terminal.
int trelvo_in_page();
// Under node, whether standard stream `fd` is a terminal.
int trelvo_node_isatty(int fd);
// Waits for the next line typed in the page's terminal and puts at most
// `size` bytes of it, with its "\n", into `buffer`; 0 at the end of input.
int trelvo_read_line(char* buffer, int size);
// Waits for one key pressed in the page's terminal.
void trelvo_wait_key();
// Shows `size` bytes from `text` in the page's terminal.
void trelvo_write(const char* text, int size);
}

namespace trelvo::platform {
namespace {

// Standard input in the page: the lines typed in its terminal, as a
// terminal's driver hands them over, each once Enter has sent it.
class TerminalInput : public std::streambuf {
 protected:
  int_type underflow() override {
    const int length = trelvo_read_line(line_, sizeof line_);
    if (length <= 0) return traits_type::eof();
    setg(line_, line_, line_ + length);
    return traits_type::to_int_type(line_[0]);
  }

 private:
  char line_[4096];
};

// Standard output in the page: straight to its terminal, unbuffered.
class TerminalOutput : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    trelvo_write(&byte, 1);
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    trelvo_write(text, static_cast<int>(size));
    return size;
  }
};

bool inPage() {
  static const bool page = trelvo_in_page() != 0;
  return page;
}

}  // namespace

void prepareStandardStreams() {
  if (!inPage()) return;
  static TerminalInput typed;
  static TerminalOutput shown;
  std::cin.rdbuf(&typed);
  std::cout.rdbuf(&shown);
}

bool inputIsConsole() { return inPage() || trelvo_node_isatty(0); }

// The page's work holds the page until it ends, so a line of progress
// would only show once it is erased: none there.
bool errorIsConsole() { return !inPage() && trelvo_node_isatty(2); }

void waitForKeyPress() {
  if (inPage()) trelvo_wait_key();
}

// The most the program's memory can grow to.
int64_t physicalMemory() { return static_cast<int64_t>(emscripten_get_heap_max()); }

// WebAssembly has no pages to choose: a plain zeroed allocation.
void* allocateLargeBlock(int64_t bytes) { return std::calloc(static_cast<size_t>(bytes), 1); }

void freeLargeBlock(void* block, int64_t) { std::free(block); }

}  // namespace trelvo::platform
