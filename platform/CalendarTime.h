#pragma once
// Calendar time: the clock in local time with milliseconds for the log's prefix, and thread-safe
// conversions of a time_t for the Date header and the start-up diagnostic. POSIX's *_r functions
// here (CalendarTime_posix.cpp); GetLocalTime and the *_s functions on Windows.

#include <ctime>
#include <string>

#include "platform/Status.h"

namespace platform {

struct LocalTimestamp {
    int day = 0;
    int month = 0;  // 1..12
    int year = 0;   // four digits
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Now, in local time.
LocalTimestamp LocalNow();

// `when` broken down in local time, or in UTC; kFailed when it cannot be.
Result<std::tm> ToLocalTime(std::time_t when);
Result<std::tm> ToUtcTime(std::time_t when);

// asctime's 25 characters ("Sat Dec  5 22:06:14 2026\n"; Windows's C library writes the day as
// "05") for `when`; empty text when the time does not fit that form.
std::string AsctimeText(const std::tm& when);

}  // namespace platform
