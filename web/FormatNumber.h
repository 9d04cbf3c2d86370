#pragma once
// Number texts of the status pages.

#include <string>

namespace web {

// Conversion toward zero to a 32-bit signed integer, given back as a double. A value that has no
// 32-bit integer (NaN, infinities, anything beyond the range) gives INT32_MIN, the value the x86
// conversion instruction produces, instead of undefined behaviour.
double TruncateToInt32(double value);

// The page text of `value`: with `truncate2`, only two decimals are kept (cut, not rounded); with
// `pad`, a "0" goes in front of values below 10 (for clock parts); then the number in general
// notation with at most 6 significant digits, exactly as printf's "%g" writes it; then `suffix`.
std::string FormatNumber(double value, const std::string& suffix, bool truncate2, bool pad);

}  // namespace web
