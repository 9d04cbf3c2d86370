#include "FlightModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthRadiusMetres = 6371000.0;
constexpr double kMetresPerSecondPerKnot = 0.514444;
constexpr double kMetresPerSecondPerFpm = 0.00508;
constexpr double kMetresPerNm = 1852.0;

constexpr double kCruiseAltitudeFt = 35000;
constexpr double kCruiseMach = 0.78;
constexpr double kOriginElevationFt = 364;
constexpr double kDestinationElevationFt = 83;
constexpr double kFullFuelLb = 18000;
constexpr double kRotateKts = 150;

// Sea-level speed of sound in knots.
constexpr double kA0Kts = 661.4786;

double Radians(double degrees) {
    return degrees * kPi / 180.0;
}

// Standard atmosphere: temperature in kelvin and pressure ratio at `altitudeFt`.
double Temperature(double altitudeFt) {
    return altitudeFt < 36089 ? 288.15 - 0.0019812 * altitudeFt : 216.65;
}
double PressureRatio(double altitudeFt) {
    if (altitudeFt < 36089) return std::pow(Temperature(altitudeFt) / 288.15, 5.2559);
    return 0.22336 * std::exp(-(altitudeFt - 36089) / 20806.0);
}
double SpeedOfSoundKts(double altitudeFt) {
    return 38.967854 * std::sqrt(Temperature(altitudeFt));
}

double MachFromCas(double casKts, double altitudeFt) {
    const double ratio = casKts / kA0Kts;
    const double qcOverP0 = std::pow(1 + 0.2 * ratio * ratio, 3.5) - 1;
    const double qcOverP = qcOverP0 / PressureRatio(altitudeFt);
    return std::sqrt(5 * (std::pow(qcOverP + 1, 2.0 / 7.0) - 1));
}

double CasFromMach(double mach, double altitudeFt) {
    const double qcOverP = std::pow(1 + 0.2 * mach * mach, 3.5) - 1;
    const double qcOverP0 = qcOverP * PressureRatio(altitudeFt);
    return kA0Kts * std::sqrt(5 * (std::pow(qcOverP0 + 1, 2.0 / 7.0) - 1));
}

double Approach(double value, double target, double step) {
    if (value < target) return std::min(target, value + step);
    return std::max(target, value - step);
}

// Distance and initial course of the great circle between two points.
void GreatCircle(double lat1, double lon1, double lat2, double lon2, double* metres,
                 double* course) {
    const double p1 = Radians(lat1), p2 = Radians(lat2), dl = Radians(lon2 - lon1);
    const double a = std::sin((p2 - p1) / 2) * std::sin((p2 - p1) / 2) +
                     std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    *metres = 2 * kEarthRadiusMetres * std::asin(std::sqrt(a));
    double c = std::atan2(std::sin(dl) * std::cos(p2),
                          std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl));
    if (c < 0) c += 2 * kPi;
    *course = c;
}

bool ParseNumber(const std::string& text, double* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0') return false;
    *out = value;
    return true;
}

}  // namespace

FlightModel::FlightModel()
    : m_route{{"EDDF", 50.0333, 8.5706},  {"TOBAK", 50.1381, 7.9386}, {"NVO", 50.7972, 6.6406},
              {"REMBA", 50.9611, 5.2603}, {"KOK", 51.0944, 2.6522},   {"DVR", 51.1628, 1.3592},
              {"DET", 51.3040, 0.5972},   {"BIG", 51.3308, 0.0350},   {"EGLL", 51.4775, -0.4614}} {
    for (size_t i = 0; i + 1 < m_route.size(); ++i) {
        double metres = 0, course = 0;
        GreatCircle(m_route[i].latitude, m_route[i].longitude, m_route[i + 1].latitude,
                    m_route[i + 1].longitude, &metres, &course);
        m_legMetres.push_back(metres);
        m_legCourse.push_back(course);
    }
    m_values.fuelTotal = kFullFuelLb;
    m_values.altitude = kOriginElevationFt;
    UpdateDerived();
}

const char* FlightModel::PhaseName(Phase phase) {
    switch (phase) {
        case Phase::Gate:
            return "gate";
        case Phase::TakeoffRoll:
            return "takeoff";
        case Phase::Climb:
            return "climb";
        case Phase::Cruise:
            return "cruise";
        case Phase::Descent:
            return "descent";
        case Phase::Landing:
            return "landing";
        case Phase::Parked:
            return "parked";
    }
    return "?";
}

void FlightModel::StartFlight() {
    m_leg = 0;
    m_alongLeg = 0;
    m_values = FlightValues{};
    m_values.altitude = kOriginElevationFt;
    m_values.fuelTotal = kFullFuelLb;
    m_trueAirspeedKts = 0;
    m_phase = Phase::TakeoffRoll;
    UpdateDerived();
}

double FlightModel::RemainingRouteMetres() const {
    double remaining = m_legMetres[m_leg] - m_alongLeg;
    for (size_t i = m_leg + 1; i < m_legMetres.size(); ++i) remaining += m_legMetres[i];
    return std::max(0.0, remaining);
}

void FlightModel::Step(double seconds) {
    if (seconds <= 0) return;
    FlightValues& v = m_values;
    double verticalFpm = 0;
    double burnLbPerHour = 0;
    switch (m_phase) {
        case Phase::Gate:
        case Phase::Parked:
            v.ias = 0;
            break;
        case Phase::TakeoffRoll:
            v.ias = Approach(v.ias, kRotateKts, 3.0 * seconds);
            burnLbPerHour = 7000;
            if (v.ias >= kRotateKts) m_phase = Phase::Climb;
            break;
        case Phase::Climb: {
            const double target = v.altitude < 10000 ? 250 : 290;
            v.ias = Approach(v.ias, target, 2.0 * seconds);
            verticalFpm = v.altitude < 10000 ? 2500 : (v.altitude < 25000 ? 2000 : 1200);
            burnLbPerHour = 6500;
            v.altitude = std::min(kCruiseAltitudeFt, v.altitude + verticalFpm * seconds / 60);
            if (v.altitude >= kCruiseAltitudeFt) m_phase = Phase::Cruise;
            break;
        }
        case Phase::Cruise: {
            burnLbPerHour = 5000;
            // Top of descent: three miles for every thousand feet to lose, and some room.
            const double descentMetres =
                ((v.altitude - kDestinationElevationFt) / 1000.0 * 3 + 10) * kMetresPerNm;
            if (RemainingRouteMetres() <= descentMetres) m_phase = Phase::Descent;
            break;
        }
        case Phase::Descent: {
            const double target = v.altitude > 10000 ? 280 : (v.altitude > 3000 ? 250 : 140);
            v.ias = Approach(v.ias, target, 2.0 * seconds);
            const double groundKts = std::max(m_trueAirspeedKts, 100.0);
            const double minutesLeft = RemainingRouteMetres() / kMetresPerNm / groundKts * 60;
            const double toLose = v.altitude - kDestinationElevationFt;
            verticalFpm = minutesLeft > 0.1 ? -toLose / minutesLeft : -3000;
            verticalFpm = std::clamp(verticalFpm, -3000.0, -500.0);
            burnLbPerHour = 1800;
            v.altitude = std::max(kDestinationElevationFt, v.altitude + verticalFpm * seconds / 60);
            if (v.altitude <= kDestinationElevationFt || RemainingRouteMetres() <= 0) {
                v.altitude = kDestinationElevationFt;
                m_phase = Phase::Landing;
            }
            break;
        }
        case Phase::Landing:
            v.ias = Approach(v.ias, 0, 4.0 * seconds);
            burnLbPerHour = 1500;
            if (v.ias <= 0) m_phase = Phase::Parked;
            break;
    }

    // Mach and true airspeed follow from the indicated airspeed, except where Mach is held.
    if (v.ias > 0) {
        v.mach = MachFromCas(v.ias, v.altitude);
        const bool holdMach = m_phase == Phase::Cruise || v.mach > kCruiseMach;
        if (holdMach && m_phase != Phase::Landing && m_phase != Phase::TakeoffRoll) {
            v.mach = kCruiseMach;
            v.ias = CasFromMach(v.mach, v.altitude);
        }
    } else {
        v.mach = 0;
    }
    m_trueAirspeedKts = v.mach * SpeedOfSoundKts(v.altitude);
    v.verticalSpeed = verticalFpm * kMetresPerSecondPerFpm;
    v.fuelTotal = std::max(0.0, v.fuelTotal - burnLbPerHour * seconds / 3600);

    // Along the route.
    m_alongLeg += m_trueAirspeedKts * kMetresPerSecondPerKnot * seconds;
    while (m_alongLeg >= m_legMetres[m_leg] && m_leg + 1 < m_legMetres.size()) {
        m_alongLeg -= m_legMetres[m_leg];
        ++m_leg;
    }
    m_alongLeg = std::min(m_alongLeg, m_legMetres[m_leg]);
    UpdateDerived();
}

void FlightModel::UpdateDerived() {
    FlightValues& v = m_values;
    const Waypoint& from = m_route[m_leg];
    const Waypoint& to = m_route[m_leg + 1];
    const double fraction = m_legMetres[m_leg] > 0 ? m_alongLeg / m_legMetres[m_leg] : 0;
    v.latitude = from.latitude + (to.latitude - from.latitude) * fraction;
    v.longitude = from.longitude + (to.longitude - from.longitude) * fraction;
    v.heading = m_legCourse[m_leg];
    v.wpDistance = m_legMetres[m_leg] - m_alongLeg;
    v.groundSpeed = m_trueAirspeedKts * kMetresPerSecondPerKnot;
    v.nextWpId = to.id;
    v.onGround = m_phase == Phase::Gate || m_phase == Phase::TakeoffRoll ||
                 m_phase == Phase::Landing || m_phase == Phase::Parked;
}

bool FlightModel::SetValue(const std::string& field, const std::string& value) {
    if (field == "wpid") {
        if (value.size() > 8) return false;
        m_values.nextWpId = value;
        return true;
    }
    double number = 0;
    if (!ParseNumber(value, &number)) return false;
    struct Field {
        const char* name;
        double FlightValues::*member;
    };
    static const Field kFields[] = {
        {"ias", &FlightValues::ias},
        {"mach", &FlightValues::mach},
        {"altitude", &FlightValues::altitude},
        {"heading", &FlightValues::heading},
        {"wpdistance", &FlightValues::wpDistance},
        {"fuel", &FlightValues::fuelTotal},
        {"groundspeed", &FlightValues::groundSpeed},
        {"vspeed", &FlightValues::verticalSpeed},
    };
    for (const Field& f : kFields) {
        if (field == f.name) {
            m_values.*(f.member) = number;
            return true;
        }
    }
    return false;
}
