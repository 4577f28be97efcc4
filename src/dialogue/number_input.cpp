#include "dialogue/number_input.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>

namespace trelvo {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

size_t skipDigits(std::string_view s, size_t i) {
  while (i < s.size() && isDigit(s[i])) ++i;
  return i;
}

// Digits with at most one separator and at least one digit, then an
// optional exponent with at least one digit: the whole of `body`.
bool isDecimalNumeral(std::string_view body) {
  size_t i = skipDigits(body, 0);
  size_t digits = i;
  if (i < body.size() && (body[i] == '.' || body[i] == ',')) {
    size_t after = skipDigits(body, i + 1);
    digits += after - (i + 1);
    i = after;
  }
  if (digits == 0) return false;
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
    ++i;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) ++i;
    size_t after = skipDigits(body, i);
    if (after == i) return false;
    i = after;
  }
  return i == body.size();
}

}  // namespace

std::optional<int32_t> parseWholeNumber(std::string_view token) {
  // from_chars takes a minus sign but not a plus sign.
  bool plus = !token.empty() && token.front() == '+';
  if (plus) token.remove_prefix(1);
  if (token.empty() || !(isDigit(token.front()) || (!plus && token.front() == '-'))) {
    return std::nullopt;
  }
  int32_t value = 0;
  auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (error != std::errc{} || end != token.data() + token.size()) return std::nullopt;
  return value;
}

namespace {

// The float that from_chars reads from `text`, or on overflow and underflow
// (where it leaves the value unset) the C library's rounding to an infinity
// or to a (possibly subnormal) zero.
std::optional<float> readFloat(std::string_view text) {
  float value = 0.0f;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range)
    return std::strtof(std::string(text).c_str(), nullptr);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Powers of ten that floats hold exactly.
constexpr float kExactPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                       1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
constexpr int kMaxFractionDigits = 10;
// Whole numbers up to 2^24 are exact floats.
constexpr uint32_t kExactMantissaLimit = uint32_t{1} << 24;

// What most typed numbers look like: digits with at most one separator, no
// exponent, a mantissa that is an exact float and at most ten decimals.
// Then mantissa / 10^decimals, one correctly rounded division of exact
// operands, is the float nearest the decimal, as from_chars gives it.
std::optional<float> parsePlainDecimal(std::string_view body, bool negative) {
  uint32_t mantissa = 0;
  int digits = 0;
  int decimals = -1;  // -1 before the separator
  for (char c : body) {
    if (isDigit(c)) {
      mantissa = mantissa * 10 + static_cast<uint32_t>(c - '0');
      if (mantissa >= kExactMantissaLimit) return std::nullopt;
      ++digits;
      if (decimals >= 0) ++decimals;
    } else if ((c == '.' || c == ',') && decimals < 0) {
      decimals = 0;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || decimals > kMaxFractionDigits) return std::nullopt;
  const float value = static_cast<float>(mantissa) / kExactPowersOfTen[decimals < 0 ? 0 : decimals];
  return negative ? -value : value;
}

}  // namespace

std::optional<float> parseDecimal(std::string_view token) {
  const std::string_view signedToken = token;
  bool negative = false;
  if (!token.empty() && (token.front() == '+' || token.front() == '-')) {
    negative = token.front() == '-';
    token.remove_prefix(1);
  }
  if (auto plain = parsePlainDecimal(token, negative)) return plain;
  const bool special = equalsIgnoringCase(token, "inf") || equalsIgnoringCase(token, "infinity") ||
                       equalsIgnoringCase(token, "nan");
  if (!special && !isDecimalNumeral(token)) return std::nullopt;
  // from_chars takes a minus sign but not a plus sign, and no comma.
  if (token.find(',') == std::string_view::npos) return readFloat(negative ? signedToken : token);
  std::string text = negative ? "-" : "";
  for (char c : token) text += (c == ',') ? '.' : c;
  return readFloat(text);
}

}  // namespace trelvo
