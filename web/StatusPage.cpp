#include "web/StatusPage.h"

#include <cstring>
#include <ctime>
#include <utility>

#include "platform/CalendarTime.h"
#include "platform/Mutex.h"
#include "web/FormatNumber.h"

namespace web {

namespace {

// A test's clock in place of the system's. Set by the test's thread, read by the web server thread.
platform::Mutex g_clockMutex;
TimeOfDaySource g_clock GUARDED_BY(g_clockMutex);

TimeOfDay SystemTimeOfDay() {
    const std::time_t now = std::time(nullptr);
    const platform::Result<std::tm> local = platform::ToLocalTime(now);
    if (!local.IsOk()) return {};
    return {local.value.tm_hour, local.value.tm_min, local.value.tm_sec};
}

}  // namespace

void SetStatusPageClock(TimeOfDaySource source) {
    platform::MutexLock lock(g_clockMutex);
    g_clock = std::move(source);
}

TimeOfDay StatusPageNow() {
    TimeOfDaySource source;
    {
        platform::MutexLock lock(g_clockMutex);
        source = g_clock;
    }
    return source ? source() : SystemTimeOfDay();
}

std::string IasText(double knots) {
    return FormatNumber(TruncateToInt32(knots), " Kts", false, false);
}

std::string MachText(double mach) {
    return FormatNumber(mach, " M", true, false);
}

std::string AltitudeText(double feet) {
    return FormatNumber(TruncateToInt32(feet), " Ft", false, false);
}

std::string HeadingText(double radians) {
    return FormatNumber(TruncateToInt32(radians * 180.0 / 3.1415926), "", false, false);
}

std::string DistanceText(double metres) {
    return FormatNumber(metres / 0.3048 * 0.000164578834, " NM", true, false);
}

std::string FuelText(double pounds) {
    return FormatNumber(pounds, " LBS", false, false);
}

std::string GroundSpeedText(double metresPerSecond) {
    return FormatNumber(TruncateToInt32(metresPerSecond / 0.514444), " Kts", false, false);
}

std::string WaypointText(const char (&id)[8]) {
    // An 8-character identifier fills the field without a terminating zero byte.
    const std::string text(id, strnlen(id, sizeof id));
    return text.empty() ? "N/A" : EscapeHtml(text);
}

std::string FlightModeText(double verticalMetresPerSecond) {
    // Strict comparisons: the limits themselves and NaN are level flight.
    if (verticalMetresPerSecond > 0.1) return "CLIMBING";
    if (verticalMetresPerSecond < -0.1) return "DESCENDING";
    return "LEVEL";
}

std::string TimeText(const TimeOfDay& time) {
    return FormatNumber(time.hour, "", false, true) + ":" +
           FormatNumber(time.minute, "", false, true) + ":" +
           FormatNumber(time.second, "", false, true);
}

std::string EscapeHtml(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const char* reference = c == '&'    ? "&amp;"
                                : c == '<'  ? "&lt;"
                                : c == '>'  ? "&gt;"
                                : c == '"'  ? "&quot;"
                                : c == '\'' ? "&#39;"
                                            : nullptr;
        if (reference != nullptr) {
            escaped += reference;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string BuildStatusContent(const sim::FlightData& data, bool simPaused, const TimeOfDay& now) {
    std::string content =
        "<img src=\"busbanner.jpg\"><font face=Verdana><h2>Tarvel X Connect Extended</h2>"
        "<table style=\"text-align: left; width: 619px;\" border=\"1\" cellpadding=\"2\" "
        "cellspacing=\"2\">";
    if (simPaused) {
        content +=
            "<tr><td style=\"width: 298px;\">Sim paused</td><td style=\"width: 321px;\">"
            "<a href='/resume'>Resume</a></td></tr>";
    } else {
        content +=
            "<tr><td style=\"width: 298px;\">Sim running</td><td style=\"width: 321px;\">"
            "<a href='/pause'>Pause</a></td></tr>";
    }
    // Every row after the first begins by closing the one before it.
    const auto row = [&content](const char* opening, const char* label, const std::string& value) {
        content += opening;
        content += label;
        content += "</td><td style=\"width: 321px;\">";
        content += value;
    };
    const char* first = "<tr><td style=\"width: 298px;\">";
    const char* next = "</td></tr><tr><td style=\"width: 298px;\">";
    row(first, "IAS", IasText(data.ias));
    row(next, "MACH", MachText(data.mach));
    row(next, "ALTITUDE", AltitudeText(data.altitude));
    row(next, "HEADING", HeadingText(data.heading));
    row(next, "DIST TO NEXT WPT",
        DistanceText(data.wpDistance) + " to " + WaypointText(data.nextWpId));
    row(next, "TOTAL FUEL REMAINING", FuelText(data.fuelTotal));
    row(next, "GROUND SPEED", GroundSpeedText(data.groundSpeed));
    row(next, "AP FLIGHT MODE", FlightModeText(data.verticalSpeed));
    row(next, "LAST UPDATE", TimeText(now));
    content += "</td></tr></table><p><a href='/MCDU'>MCDU</a></font>";
    return content;
}

}  // namespace web
