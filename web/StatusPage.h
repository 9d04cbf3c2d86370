#pragma once
// The status page's content: the flight values as page texts, the pause row and the time of the
// page.

#include <functional>
#include <string>

#include "sim/FlightData.h"

namespace web {

// Local time of day on the 24-hour clock.
struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

using TimeOfDaySource = std::function<TimeOfDay()>;

// Replaces the local clock the status page reads (tests); an empty source restores the system's.
void SetStatusPageClock(TimeOfDaySource source);
// The local time of day now, from the clock above.
TimeOfDay StatusPageNow();

// Value texts of the rows, from the fields in their units as the simulator delivers them.
std::string IasText(double knots);
std::string MachText(double mach);
std::string AltitudeText(double feet);
std::string HeadingText(double radians);
std::string DistanceText(double metres);
std::string FuelText(double pounds);
std::string GroundSpeedText(double metresPerSecond);
// The identifier up to its first zero byte (at most 8 characters), markup-escaped; "N/A" if empty.
std::string WaypointText(const char (&id)[8]);
std::string FlightModeText(double verticalMetresPerSecond);
std::string TimeText(const TimeOfDay& time);

// `text` with & < > " ' written as character references, so it can never open or close markup.
std::string EscapeHtml(const std::string& text);

// The content between the page frame's body tags.
std::string BuildStatusContent(const sim::FlightData& data, bool simPaused, const TimeOfDay& now);

}  // namespace web
