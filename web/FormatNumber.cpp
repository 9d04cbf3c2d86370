#include "web/FormatNumber.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace web {

double TruncateToInt32(double value) {
    // The range test is written so that NaN fails it too.
    if (!(value > -2147483649.0 && value < 2147483648.0)) return static_cast<double>(INT32_MIN);
    return static_cast<double>(static_cast<int32_t>(value));
}

std::string FormatNumber(double value, const std::string& suffix, bool truncate2, bool pad) {
    if (truncate2) value = TruncateToInt32(value * 100.0) / 100.0;
    std::string text = pad && value < 10.0 ? "0" : "";
    // "%g" of any double fits: sign, 6 digits, point, "e+308" and the terminator.
    char number[32];
    std::snprintf(number, sizeof number, "%g", value);
    text += number;
    text += suffix;
    return text;
}

}  // namespace web
