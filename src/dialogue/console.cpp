#include "dialogue/console.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "dialogue/messages.h"
#include "dialogue/number_input.h"

namespace trelvo {
namespace {

// Longer tokens are never numbers anyone types; they are consumed but not
// stored, and refused.
constexpr size_t kLongestToken = 4096;

bool isSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

template <class Parse>
auto Console::readValid(Parse parse) {
  for (;;) {
    if (flushBeforeRead_) out_.flush();
    // Nobody can see the dialogue any more: end it as at the end of input.
    if (!out_) throw InputEnded{};
    if (auto value = parse(nextToken())) return *value;
    discardRestOfLine();
    print(kInvalidValue);
  }
}

int32_t Console::readInt() { return readValid(parseWholeNumber); }

float Console::readDecimal() { return readValid(parseDecimal); }

std::string_view Console::nextToken() {
  constexpr int kEnd = std::char_traits<char>::eof();
  int c = in_.sgetc();
  while (c != kEnd && isSpace(c)) c = in_.snextc();
  if (c == kEnd) throw InputEnded{};
  token_.clear();
  bool tooLong = false;
  while (c != kEnd && !isSpace(c)) {
    if (token_.size() < kLongestToken) {
      token_.push_back(static_cast<char>(c));
    } else {
      tooLong = true;
    }
    c = in_.snextc();
  }
  return tooLong ? std::string_view{} : std::string_view{token_};
}

void Console::discardRestOfLine() {
  constexpr int kEnd = std::char_traits<char>::eof();
  for (int c = in_.sgetc(); c != kEnd; c = in_.snextc()) {
    if (c == '\n') {
      in_.sbumpc();
      return;
    }
  }
}

void Console::printf(const char* format, ...) {
  char small[128];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length >= 0 && static_cast<size_t>(length) < sizeof small) {
    print({small, static_cast<size_t>(length)});
  } else if (length >= 0) {
    std::vector<char> large(static_cast<size_t>(length) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    print({large.data(), static_cast<size_t>(length)});
  }
  va_end(again);
}

// A million typed elements spend much of their time here: to_chars
// instead of the general printf.
void Console::printElementPrompt(int32_t row, int32_t col) {
  char text[32] = "a";
  char* end = std::to_chars(text + 1, text + sizeof text, row).ptr;
  end = std::to_chars(end, text + sizeof text, col).ptr;
  *end++ = ':';
  *end++ = ' ';
  print({text, static_cast<size_t>(end - text)});
}

// Not every C library writes the sign of a NaN (Windows' does not): the
// program writes it.
void Console::printFixed(float value, int width) {
  if (std::isnan(value)) {
    printf("%*s", width, std::signbit(value) ? "-nan" : "nan");
  } else {
    printf("%*.2f", width, static_cast<double>(value));
  }
}

}  // namespace trelvo
