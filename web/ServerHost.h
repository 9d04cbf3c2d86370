#pragma once
// What the web server needs from the program around it: the simulator link's state for the
// pages, the pause control, the settings folder the pictures come from, and the showing of the
// server's address on the window. The main window implements it; a test may stand in for it.
// Every call may come from the web server thread.

#include <string>

#include "sim/FlightData.h"

namespace web {

class ServerHost {
  public:
    // The simulator link is online: the pages are served, not the offline page.
    virtual bool IsSimOnline() const = 0;
    // The simulator's last reported pause state.
    virtual bool IsSimPaused() const = 0;
    // A whole copy of the latest flight record.
    virtual void GetFlightData(sim::FlightData& out) = 0;
    // Sends the simulator the pause or resume command.
    virtual void PauseSim(bool pause) = 0;
    // The settings folder with its trailing separator, where the pages' pictures are.
    virtual std::string SettingsFolder() const = 0;
    // Has `label` (the server's address and port, or empty) drawn into the window's address
    // strip on the window thread.
    virtual void ShowAddressLabel(const std::string& label) = 0;

  protected:
    ~ServerHost() = default;
};

}  // namespace web
