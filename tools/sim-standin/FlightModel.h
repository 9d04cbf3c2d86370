#pragma once
// A simple but credible flight of the user aircraft along a fixed route: take-off roll, climb,
// cruise near Mach 0.78, descent and landing, with the standard atmosphere linking Mach, indicated
// and true airspeed, and fuel burnt by phase. No wind: ground speed is true airspeed and the
// heading is the course of the current leg.

#include <string>
#include <vector>

// The values handed out, each in the unit the program asks for (no conversion needed for it).
struct FlightValues {
    double ias = 0;            // knots
    double mach = 0;           // Mach number
    double altitude = 0;       // feet
    double heading = 0;        // radians, 0..2 pi
    double wpDistance = 0;     // metres to the next waypoint
    double fuelTotal = 0;      // pounds
    double groundSpeed = 0;    // metres per second
    double verticalSpeed = 0;  // metres per second
    std::string nextWpId;      // up to 8 characters
    double latitude = 0;       // degrees
    double longitude = 0;      // degrees
    bool onGround = true;
};

class FlightModel {
  public:
    enum class Phase { Gate, TakeoffRoll, Climb, Cruise, Descent, Landing, Parked };

    FlightModel();

    // Back to the gate of the departure airport with full tanks, then rolling at once.
    void StartFlight();
    // Advances the flight by `seconds` of simulated time.
    void Step(double seconds);

    const FlightValues& Values() const { return m_values; }
    // Overrides one value (tests and people at the control channel); false for an unknown field
    // or an unreadable value.
    bool SetValue(const std::string& field, const std::string& value);
    Phase CurrentPhase() const { return m_phase; }
    static const char* PhaseName(Phase phase);
    std::string Origin() const { return m_route.front().id; }
    std::string Destination() const { return m_route.back().id; }

  private:
    struct Waypoint {
        std::string id;
        double latitude;   // degrees
        double longitude;  // degrees
    };

    void UpdateDerived();
    double RemainingRouteMetres() const;

    std::vector<Waypoint> m_route;
    std::vector<double> m_legMetres;  // length of leg i (waypoint i to i + 1)
    std::vector<double> m_legCourse;  // true course of leg i, radians
    size_t m_leg = 0;                 // current leg
    double m_alongLeg = 0;            // metres flown on the current leg
    Phase m_phase = Phase::Gate;
    double m_trueAirspeedKts = 0;
    FlightValues m_values;
};
