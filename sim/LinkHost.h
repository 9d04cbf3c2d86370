#pragma once
// What the simulator link needs from the program around it: the status lamp, the start of the
// web server once a connection has opened, and the gauge's probe when a flight starts. The main
// window implements it; a test may stand in for it.

namespace sim {

class LinkHost {
  public:
    // Switches the status lamp to the online or offline picture (window thread, from the
    // presence check).
    virtual void SetOnlineLamp(bool online) = 0;
    // A connection has opened and its worker runs (window thread): a web server that waits for
    // the simulator may start its thread now.
    virtual void OnSimconnectStarted() = 0;
    // A flight started while the link is online (worker thread): the gauge is probed through the
    // MCDU pipe when the web server, which holds the pipe, is enabled.
    virtual void ProbeMcdu() = 0;

  protected:
    ~LinkHost() = default;
};

}  // namespace sim
