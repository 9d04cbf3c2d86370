#pragma once
// A stand-in for the program around the simulator link: it counts what the link asks of it
// (lamp switches, connections started, gauge probes), from whichever thread asks.

#include <atomic>

#include "sim/LinkHost.h"

namespace txtest {

class FakeLinkHost final : public sim::LinkHost {
  public:
    void SetOnlineLamp(bool online) override {
        lampOnline = online;
        ++lampSwitches;
    }
    void OnSimconnectStarted() override { ++started; }
    void ProbeMcdu() override { ++probes; }

    std::atomic<bool> lampOnline{false};
    std::atomic<int> lampSwitches{0};
    std::atomic<int> started{0};
    std::atomic<int> probes{0};
};

}  // namespace txtest
