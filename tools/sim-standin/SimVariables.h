#pragma once
// What the stand-in knows of the simulator's names: the simulation variables it can answer with
// their own units, the unit conversions between them, and the system and simulator events it
// serves. Names are matched without regard to case, as the simulator does.

#include <string>

#include "FlightModel.h"

namespace standin {

// A simulation variable: its value in its own unit, or its text.
struct Variable {
    bool found = false;
    bool isText = false;
    double value = 0;
    const char* unit = "number";
    std::string text;
};

// The variable `name` for the current flight values; `title` is the aircraft title.
Variable LookUp(const std::string& name, const FlightValues& values, const std::string& title);

// `value` from unit `from` into unit `to` (empty: the variable's own unit). False when either
// unit is unknown or they measure different things. A value asked for in its own unit, or in
// another name of the same factor, arrives bit for bit.
bool Convert(double value, const char* from, const std::string& to, double* out);

bool IsKnownSystemEvent(const std::string& name);  // SimStart, Pause, AircraftLoaded
bool IsKnownSimEvent(const std::string& name);     // PAUSE_ON, PAUSE_OFF, PAUSE_TOGGLE

std::string Upper(std::string text);
std::string Lower(std::string text);

}  // namespace standin
