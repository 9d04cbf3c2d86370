// Calendar time through POSIX's thread-safe *_r functions.

#include "platform/CalendarTime.h"

namespace platform {

LocalTimestamp LocalNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    LocalTimestamp when;
    when.day = local.tm_mday;
    when.month = local.tm_mon + 1;
    when.year = local.tm_year + 1900;
    when.hour = local.tm_hour;
    when.minute = local.tm_min;
    when.second = local.tm_sec;
    when.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return when;
}

Result<std::tm> ToLocalTime(std::time_t when) {
    Result<std::tm> local;
    if (!(::localtime_r(&when, &local.value) != nullptr))
        local.status = Status(ErrorKind::kFailed, 0, "no local time for it");
    return local;
}

Result<std::tm> ToUtcTime(std::time_t when) {
    Result<std::tm> utc;
    if (!(::gmtime_r(&when, &utc.value) != nullptr))
        utc.status = Status(ErrorKind::kFailed, 0, "no UTC time for it");
    return utc;
}

std::string AsctimeText(const std::tm& when) {
    char text[64] = {};
    if (::asctime_r(&when, text) == nullptr) return {};
    return text;
}

}  // namespace platform
