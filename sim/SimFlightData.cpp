// The flight-data record: the data definitions declared to each connection, the intake of the
// periodic replies with their log line, and the copy handed to the status page.

#include <cmath>
#include <cstring>
#include <limits>

#include "log/Log.h"
#include "platform/ProfileReader.h"
#include "sim/ClientLibrary.h"
#include "sim/SimIds.h"
#include "sim/SimLink.h"

using logging::LogFile;
using logging::LogText;

namespace {

// Truncates toward zero like a C cast, but gives a defined answer for values a hostile simulator
// may send (NaN, infinities, numbers beyond int).
int TruncateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

struct Datum {
    const char* name;
    const char* unit;
    SIMCONNECT_DATATYPE type;
};

// The flight-data definition, in the order of FlightData's fields.
constexpr Datum kFlightDataDefinition[] = {
    {"AIRSPEED INDICATED", "Knots", SIMCONNECT_DATATYPE_FLOAT64},
    {"AIRSPEED MACH", "Mach", SIMCONNECT_DATATYPE_FLOAT64},
    {"Indicated Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64},
    {"HEADING INDICATOR", "Radians", SIMCONNECT_DATATYPE_FLOAT64},
    {"GPS WP DISTANCE", "Meters", SIMCONNECT_DATATYPE_FLOAT64},
    {"FUEL TOTAL QUANTITY WEIGHT", "Pounds", SIMCONNECT_DATATYPE_FLOAT64},
    {"GPS GROUND SPEED", "Meters per second", SIMCONNECT_DATATYPE_FLOAT64},
    {"GPS WP VERTICAL SPEED", "Meters per second", SIMCONNECT_DATATYPE_FLOAT64},
    {"GPS WP NEXT ID", nullptr, SIMCONNECT_DATATYPE_STRING8},
};

}  // namespace

namespace sim {

void SimLink::SetupSimconnectData() {
    // Read afresh for every connection, so a changed setting takes effect at the next one.
    const int period = platform::GetPrivateProfileInt("Common", "DataRequestPeriod", 0, m_iniPath);
    ClientLibrary& api = SimApi();
    WithOpenSimConnect([&](HANDLE handle) {
        api.AddToDataDefinition(handle, DEFINITION_TITLE, "TITLE", nullptr,
                                SIMCONNECT_DATATYPE_STRINGV, 0, SIMCONNECT_UNUSED);
        for (const Datum& datum : kFlightDataDefinition)
            api.AddToDataDefinition(handle, DEFINITION_FLIGHT_DATA, datum.name, datum.unit,
                                    datum.type, 0, SIMCONNECT_UNUSED);
        if (period > 0)
            api.RequestDataOnSimObject(handle, REQUEST_FLIGHT_DATA, DEFINITION_FLIGHT_DATA,
                                       SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND, 0, 0,
                                       static_cast<DWORD>(period), 0);
        api.MapClientEventToSimEvent(handle, EVENT_PAUSE_OFF, "PAUSE_OFF");
        api.MapClientEventToSimEvent(handle, EVENT_PAUSE_ON, "PAUSE_ON");
    });
}

void SimLink::StoreFlightData(const void* data) {
    FlightData record;
    std::memcpy(&record, data, sizeof(record));
    {
        platform::MutexLock lock(m_flightDataMutex);
        m_FlightData = record;
    }
    LogText(LogFile, "IAS=%d Kts; ", TruncateToInt(record.ias));
    LogText(LogFile, "Mach=%.2f M; ", record.mach);
    LogText(LogFile, "Alt=%d Ft; ", TruncateToInt(record.altitude));
    LogText(LogFile, "Hdg=%d; ", TruncateToInt(record.heading * 180.0 / 3.1415926));
    LogText(LogFile, "Distance=%.2f NM; ", record.wpDistance / 0.3048 * 0.000164578834);
    LogText(LogFile, "CurrentFuelTotal=%d LBS; ", TruncateToInt(record.fuelTotal));
    LogText(LogFile, "Ground speed=%d Kts; ", TruncateToInt(record.groundSpeed / 0.514444));
    LogText(LogFile, "Vert speed=%.2f feet/sec; ", record.verticalSpeed / 0.3048);
    // An identifier of all 8 characters has no NUL of its own.
    LogText(LogFile, "NextWP=%.8s.\n", record.nextWpId);
}

void SimLink::GetFlightData(FlightData& out) {
    platform::MutexLock lock(m_flightDataMutex);
    out = m_FlightData;
}

}  // namespace sim
