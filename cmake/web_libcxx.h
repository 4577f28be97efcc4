// What the libc++ of Debian's emscripten (3.1.6) lacks of C++17 and C++20,
// for the WebAssembly build only (force-included by cmake/targets.cmake):
// std::bit_cast, std::make_unique_for_overwrite, and std::from_chars and
// std::to_chars of a float.
#pragma once

#ifdef __cplusplus
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <type_traits>
#include <version>

namespace std {

#if !defined(__cpp_lib_bit_cast)
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
#endif

#if !defined(__cpp_lib_smart_ptr_for_overwrite)
template <class T, enable_if_t<is_unbounded_array_v<T>, int> = 0>
unique_ptr<T> make_unique_for_overwrite(size_t count) {
  return unique_ptr<T>(new remove_extent_t<T>[count]);
}
template <class T, enable_if_t<!is_array_v<T>, int> = 0>
unique_ptr<T> make_unique_for_overwrite() {
  return unique_ptr<T>(new T);
}
#endif

#if !defined(__cpp_lib_to_chars)
namespace web_libcxx {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

inline bool startsWithWord(const char* p, const char* last, const char* lower) {
  for (; *lower != 0; ++p, ++lower) {
    if (p == last || (*p | 0x20) != *lower) return false;
  }
  return true;
}

// The end of the longest decimal number at `p` (digits with at most one
// point, at least one digit, then an exponent if it is whole); `p` when
// there is none.
inline const char* decimalEnd(const char* p, const char* last) {
  const char* q = p;
  int digits = 0;
  while (q != last && isDigit(*q)) ++q, ++digits;
  if (q != last && *q == '.') {
    ++q;
    while (q != last && isDigit(*q)) ++q, ++digits;
  }
  if (digits == 0) return p;
  if (q != last && (*q == 'e' || *q == 'E')) {
    const char* e = q + 1;
    if (e != last && (*e == '+' || *e == '-')) ++e;
    if (e != last && isDigit(*e)) {
      while (e != last && isDigit(*e)) ++e;
      q = e;
    }
  }
  return q;
}

}  // namespace web_libcxx

// chars_format::general alone, as the program reads: an optional minus sign,
// then a decimal number, "inf", "infinity" or "nan", "nan(...)" (any case);
// correctly rounded (the C library's strtof, which rounds so), and
// result_out_of_range where the value overflows or underflows.
inline from_chars_result from_chars(const char* first, const char* last, float& value,
                                    chars_format = chars_format::general) {
  using web_libcxx::startsWithWord;
  const char* p = first;
  const bool negative = p != last && *p == '-';
  if (negative) ++p;
  if (startsWithWord(p, last, "inf")) {
    p += startsWithWord(p, last, "infinity") ? 8 : 3;
    value = negative ? -HUGE_VALF : HUGE_VALF;
    return {p, errc{}};
  }
  if (startsWithWord(p, last, "nan")) {
    p += 3;
    if (p != last && *p == '(') {
      const char* q = p + 1;
      while (q != last &&
             (web_libcxx::isDigit(*q) || ((*q | 0x20) >= 'a' && (*q | 0x20) <= 'z') || *q == '_'))
        ++q;
      if (q != last && *q == ')') p = q + 1;
    }
    value = __builtin_copysignf(__builtin_nanf(""), negative ? -1.0f : 1.0f);
    return {p, errc{}};
  }
  const char* end = web_libcxx::decimalEnd(p, last);
  if (end == p) return {first, errc::invalid_argument};
  const std::string text(first, end);
  errno = 0;
  const float read = std::strtof(text.c_str(), nullptr);
  if (errno == ERANGE && (read == 0.0f || std::isinf(read))) {
    return {end, errc::result_out_of_range};
  }
  value = read;
  return {end, errc{}};
}

namespace web_libcxx {

// Whether `text` reads back as `x`.
inline bool readsBack(const char* text, float x) { return std::strtof(text, nullptr) == x; }

// `mantissa` (digits) times ten to `exponent`, as printf's "%e" writes it.
inline int scientific(char* text, size_t size, bool negative, long long mantissa, int exponent) {
  char digits[24];
  const int count = std::snprintf(digits, sizeof digits, "%lld", mantissa);
  exponent += count - 1;
  return std::snprintf(text, size, "%s%c%s%se%c%02d", negative ? "-" : "", digits[0],
                       count > 1 ? "." : "", digits + 1, exponent < 0 ? '-' : '+',
                       exponent < 0 ? -exponent : exponent);
}

}  // namespace web_libcxx

// chars_format::scientific alone, as the program writes: the fewest
// significant digits that read back as `value`, of those the nearest to it
// ("d.ddde+XX", "0e+00", "inf", "nan", each with "-" before it where the
// sign is set).
inline to_chars_result to_chars(char* first, char* last, float value, chars_format) {
  char text[48];
  const bool negative = __builtin_signbit(value);
  int length = 0;
  if (__builtin_isnan(value) || __builtin_isinf(value) || value == 0.0f) {
    length = std::snprintf(text, sizeof text, "%s%s", negative ? "-" : "",
                           __builtin_isnan(value)   ? "nan"
                           : __builtin_isinf(value) ? "inf"
                                                    : "0e+00");
  } else {
    const double x = static_cast<double>(value);
    for (int precision = 1; precision <= 9 && length == 0; ++precision) {
      // The nearest decimal of this many digits, correctly rounded by printf;
      // where the floats below are twice as close (a power of two) the
      // decimal one step from it may read back when it does not.
      std::snprintf(text, sizeof text, "%.*e", precision - 1, x);
      if (web_libcxx::readsBack(text, value)) {
        length = static_cast<int>(std::strlen(text));
        break;
      }
      const char* e = std::strchr(text, 'e');
      long long mantissa = 0;
      for (const char* c = text; c < e; ++c) {
        if (*c >= '0' && *c <= '9') mantissa = mantissa * 10 + (*c - '0');
      }
      const int exponent = std::atoi(e + 1) - (precision - 1);
      char best[48] = "";
      double bestDistance = 0.0;
      for (long long step : {-1LL, 1LL}) {
        char other[48];
        web_libcxx::scientific(other, sizeof other, negative, mantissa + step, exponent);
        if (!web_libcxx::readsBack(other, value)) continue;
        const double distance = __builtin_fabs(std::strtod(other, nullptr) - x);
        if (best[0] == 0 || distance < bestDistance) {
          std::strcpy(best, other);
          bestDistance = distance;
        }
      }
      if (best[0] != 0) {
        std::strcpy(text, best);
        length = static_cast<int>(std::strlen(text));
      }
    }
  }
  if (length > last - first) return {last, errc::value_too_large};
  std::memcpy(first, text, static_cast<size_t>(length));
  return {first + length, errc{}};
}
#endif

}  // namespace std
#endif
