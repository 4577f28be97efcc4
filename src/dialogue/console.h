// The console of the dialogue: typed tokens in, formatted text out.
//
// Reads are whitespace-separated tokens, like formatted reads. A token that
// is not a number of the kind asked for is refused with a message, the rest
// of its line is discarded and the read starts again, so the dialogue goes
// on as if it had never been typed. When input ends, a read throws
// InputEnded and the run ends.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace trelvo {

/// Thrown by a read that finds the end of input.
struct InputEnded {};

class Console {
 public:
  Console(std::istream& in, std::ostream& out) : in_(*in.rdbuf()), out_(out) {}

  /// When set, the output is flushed before every read, so that a prompt is
  /// on the screen before the program waits. Meant for a terminal.
  void setFlushBeforeRead(bool flush) { flushBeforeRead_ = flush; }

  /// Reads a whole number in the signed 32-bit range.
  int32_t readInt();
  /// Reads a decimal number, rounded to float.
  float readDecimal();

  /// Straight into the stream's buffer (a million prompts spend a good
  /// share of their time in the stream's checks); a short write marks the
  /// stream bad, as the stream's own write would.
  void print(std::string_view text) {
    const auto size = static_cast<std::streamsize>(text.size());
    if (out_.rdbuf()->sputn(text.data(), size) != size) out_.setstate(std::ios::badbit);
  }
  /// Prints with a printf format.
  void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  /// Prints the prompt of element (row, col): "a%d%d: ".
  void printElementPrompt(int32_t row, int32_t col);
  /// Prints a value widened to double with "%*.2f" in `width` columns, as
  /// glibc prints it on every system ("-nan" for a NaN with its sign set).
  void printFixed(float value, int width);
  /// Prints a value with "%7.2f", the cell of every matrix.
  void printCell(float value) { printFixed(value, 7); }
  void flush() { out_.flush(); }

 private:
  template <class Parse>
  auto readValid(Parse parse);
  std::string_view nextToken();
  void discardRestOfLine();

  std::streambuf& in_;
  std::ostream& out_;
  bool flushBeforeRead_ = false;
  std::string token_;
};

}  // namespace trelvo
