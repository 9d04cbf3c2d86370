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

Result<std::tm> ToLocalTime(std::time_t when) {
    Result<std::tm> local;
    if (!(::localtime_s(&local.value, &when) == 0))
        local.status = Status(ErrorKind::kFailed, 0, "no local time for it");
    return local;
}

Result<std::tm> ToUtcTime(std::time_t when) {
    Result<std::tm> utc;
    if (!(::gmtime_s(&utc.value, &when) == 0))
        utc.status = Status(ErrorKind::kFailed, 0, "no UTC time for it");
    return utc;
}

std::string AsctimeText(const std::tm& when) {
    char text[64] = {};
    // Fields out of their ranges are refused here rather than printed.
    if (::asctime_s(text, sizeof text, &when) != 0) return {};
    return text;
}

}  // namespace platform
