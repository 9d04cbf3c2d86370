// Calendar time through the Windows clock and the C library's *_s functions.

#include <windows.h>

#include "platform/CalendarTime.h"

namespace platform {

LocalTimestamp LocalNow() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    LocalTimestamp when;
    when.day = now.wDay;
    when.month = now.wMonth;
    when.year = now.wYear;
    when.hour = now.wHour;
    when.minute = now.wMinute;
    when.second = now.wSecond;
    when.millisecond = now.wMilliseconds;
    return when;
}

bool ToLocalTime(std::time_t when, std::tm& out) {
    return ::localtime_s(&out, &when) == 0;
}

bool ToUtcTime(std::time_t when, std::tm& out) {
    return ::gmtime_s(&out, &when) == 0;
}

std::string AsctimeText(const std::tm& when) {
    char text[64] = {};
    // Fields out of their ranges are refused here rather than printed.
    if (::asctime_s(text, sizeof text, &when) != 0) return {};
    return text;
}

}  // namespace platform
