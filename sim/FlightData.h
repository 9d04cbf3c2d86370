#pragma once
// The latest flight values of the user aircraft, laid out byte for byte as the simulator delivers
// the flight-data definition: eight doubles and an 8-character identifier, nothing in between.

#include <cstddef>

namespace sim {

struct FlightData {
    double ias;            // knots
    double mach;           // Mach number
    double altitude;       // feet
    double heading;        // radians
    double wpDistance;     // metres to the next waypoint
    double fuelTotal;      // pounds
    double groundSpeed;    // metres per second
    double verticalSpeed;  // metres per second
    char nextWpId[8];      // NUL-terminated when shorter than 8 characters; full otherwise
};

static_assert(sizeof(FlightData) == 72, "FlightData must match the simulator's 72-byte layout");
static_assert(offsetof(FlightData, ias) == 0);
static_assert(offsetof(FlightData, mach) == 8);
static_assert(offsetof(FlightData, altitude) == 16);
static_assert(offsetof(FlightData, heading) == 24);
static_assert(offsetof(FlightData, wpDistance) == 32);
static_assert(offsetof(FlightData, fuelTotal) == 40);
static_assert(offsetof(FlightData, groundSpeed) == 48);
static_assert(offsetof(FlightData, verticalSpeed) == 56);
static_assert(offsetof(FlightData, nextWpId) == 64);

}  // namespace sim
