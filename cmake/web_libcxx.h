// What the libc++ of Debian's emscripten (3.1.6) lacks of C++17 and C++20,
// for the WebAssembly build only (force-included by cmake/targets.cmake):
// std::bit_cast, std::make_unique_for_overwrite and std::from_chars of a
// float.
#pragma once

#ifdef __cplusplus
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
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
template <class T>
  requires is_unbounded_array_v<T>
unique_ptr<T> make_unique_for_overwrite(size_t count) {
  return unique_ptr<T>(new remove_extent_t<T>[count]);
}
template <class T>
  requires(!is_array_v<T>)
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
      while (q != last && (web_libcxx::isDigit(*q) || ((*q | 0x20) >= 'a' && (*q | 0x20) <= 'z') ||
                           *q == '_'))
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
#endif

}  // namespace std
#endif
