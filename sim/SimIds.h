#pragma once
// The ids the simulator link declares to every connection: data definitions, requests and client
// events.

#include "simconnect/SimConnect.h"

namespace sim {

enum SimDefinitionId : SIMCONNECT_DATA_DEFINITION_ID {
    DEFINITION_TITLE = 0,
    DEFINITION_FLIGHT_DATA = 1,
};

enum SimRequestId : SIMCONNECT_DATA_REQUEST_ID {
    REQUEST_TITLE = 0,
    REQUEST_FLIGHT_DATA = 1,
};

enum SimEventId : SIMCONNECT_CLIENT_EVENT_ID {
    EVENT_SIM_START = 0,
    EVENT_PLANE_LOADED = 1,
    EVENT_PAUSE_OFF = 2,
    EVENT_PAUSE_ON = 3,
    EVENT_PAUSE_STATE = 4,
};

// The name under which the program introduces itself to the simulator.
inline constexpr const char* kSimClientName = "QUENNICK TARVELX CONNECT";

}  // namespace sim
