// Turns one typed token into a number, accepting only tokens that are
// wholly a number of the kind asked for.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace trelvo {

/// A whole number: an optional sign and decimal digits, within the signed
/// 32-bit range. Anything else ("1.5", "3abc", "", "+") gives nothing.
std::optional<int32_t> parseWholeNumber(std::string_view token);

/// A decimal number rounded to float: an optional sign, digits with '.' or
/// ',' as the decimal separator, an optional exponent; or "inf",
/// "infinity", "nan" in any case. A value beyond the float range becomes an
/// infinity, one below it a zero, as the C library's conversion gives.
std::optional<float> parseDecimal(std::string_view token);

}  // namespace trelvo
