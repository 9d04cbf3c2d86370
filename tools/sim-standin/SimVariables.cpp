#include "SimVariables.h"

#include <cctype>

namespace standin {
namespace {

enum class Dimension { Speed, Length, Angle, Mass, Number, Mach };

struct Unit {
    const char* name;
    Dimension dimension;
    double toSi;
};

constexpr Unit kUnits[] = {
    {"knots", Dimension::Speed, 0.514444},
    {"knot", Dimension::Speed, 0.514444},
    {"meters per second", Dimension::Speed, 1},
    {"meter per second", Dimension::Speed, 1},
    {"feet per second", Dimension::Speed, 0.3048},
    {"feet per minute", Dimension::Speed, 0.00508},
    {"kilometers per hour", Dimension::Speed, 1 / 3.6},
    {"feet", Dimension::Length, 0.3048},
    {"foot", Dimension::Length, 0.3048},
    {"meters", Dimension::Length, 1},
    {"meter", Dimension::Length, 1},
    {"nautical miles", Dimension::Length, 1852},
    {"kilometers", Dimension::Length, 1000},
    {"radians", Dimension::Angle, 1},
    {"radian", Dimension::Angle, 1},
    {"degrees", Dimension::Angle, 3.14159265358979323846 / 180},
    {"degree", Dimension::Angle, 3.14159265358979323846 / 180},
    {"pounds", Dimension::Mass, 0.45359237},
    {"pound", Dimension::Mass, 0.45359237},
    {"kilograms", Dimension::Mass, 1},
    {"number", Dimension::Number, 1},
    {"bool", Dimension::Number, 1},
    {"mach", Dimension::Mach, 1},
};

const Unit* FindUnit(const std::string& name) {
    const std::string key = Lower(name);
    for (const Unit& unit : kUnits)
        if (key == unit.name) return &unit;
    return nullptr;
}

}  // namespace

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

Variable LookUp(const std::string& name, const FlightValues& v, const std::string& title) {
    const std::string key = Upper(name);
    auto number = [](double value, const char* unit) {
        Variable var;
        var.found = true;
        var.value = value;
        var.unit = unit;
        return var;
    };
    auto text = [](const std::string& value) {
        Variable var;
        var.found = true;
        var.isText = true;
        var.text = value;
        return var;
    };
    if (key == "AIRSPEED INDICATED") return number(v.ias, "knots");
    if (key == "AIRSPEED TRUE") return number(v.groundSpeed / 0.514444, "knots");
    if (key == "AIRSPEED MACH") return number(v.mach, "mach");
    if (key == "INDICATED ALTITUDE" || key == "PLANE ALTITUDE") return number(v.altitude, "feet");
    if (key == "HEADING INDICATOR" || key == "PLANE HEADING DEGREES TRUE" ||
        key == "GPS GROUND TRUE TRACK")
        return number(v.heading, "radians");
    if (key == "GPS WP DISTANCE") return number(v.wpDistance, "meters");
    if (key == "FUEL TOTAL QUANTITY WEIGHT") return number(v.fuelTotal, "pounds");
    if (key == "GPS GROUND SPEED" || key == "GROUND VELOCITY")
        return number(v.groundSpeed, "meters per second");
    if (key == "GPS WP VERTICAL SPEED" || key == "VERTICAL SPEED")
        return number(v.verticalSpeed, "meters per second");
    if (key == "PLANE LATITUDE") return number(v.latitude, "degrees");
    if (key == "PLANE LONGITUDE") return number(v.longitude, "degrees");
    if (key == "SIM ON GROUND") return number(v.onGround ? 1 : 0, "bool");
    if (key == "GPS WP NEXT ID") return text(v.nextWpId);
    if (key == "TITLE") return text(title);
    return Variable{};
}

bool Convert(double value, const char* from, const std::string& to, double* out) {
    if (to.empty()) {
        *out = value;
        return true;
    }
    const Unit* source = FindUnit(from);
    const Unit* target = FindUnit(to);
    if (source == nullptr || target == nullptr || source->dimension != target->dimension)
        return false;
    *out = source->toSi == target->toSi ? value : value * source->toSi / target->toSi;
    return true;
}

bool IsKnownSystemEvent(const std::string& name) {
    const std::string key = Lower(name);
    return key == "simstart" || key == "pause" || key == "aircraftloaded";
}

bool IsKnownSimEvent(const std::string& name) {
    const std::string key = Upper(name);
    return key == "PAUSE_ON" || key == "PAUSE_OFF" || key == "PAUSE_TOGGLE";
}

}  // namespace standin
