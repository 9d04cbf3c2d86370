#pragma once
// A stand-in for the program around the web server: the simulator's state as the test sets it,
// and a record of what the server and the pages ask for. Any thread may call it.

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "platform/Mutex.h"
#include "web/ServerHost.h"

namespace txtest {

class FakeServerHost final : public web::ServerHost {
  public:
    explicit FakeServerHost(std::string settingsFolder = "")
        : m_settingsFolder(std::move(settingsFolder)) {}

    bool IsSimOnline() const override { return online.load(); }
    bool IsSimPaused() const override { return paused.load(); }
    void GetFlightData(sim::FlightData& out) override { out = flightData; }
    void PauseSim(bool pause) override { Record(pause ? "pause" : "resume"); }
    std::string SettingsFolder() const override { return m_settingsFolder; }
    void ShowAddressLabel(const std::string& label) override { Record("label " + label); }

    // What the server and the pages asked of the program, in order: "pause", "resume" and
    // "label <text>".
    std::vector<std::string> Calls() {
        platform::MutexLock lock(m_mutex);
        return m_calls;
    }

    std::atomic<bool> online{true};
    std::atomic<bool> paused{false};
    // Written by the test while no server thread runs.
    sim::FlightData flightData{};

  private:
    void Record(std::string call) {
        platform::MutexLock lock(m_mutex);
        m_calls.push_back(std::move(call));
    }

    const std::string m_settingsFolder;
    platform::Mutex m_mutex;
    std::vector<std::string> m_calls GUARDED_BY(m_mutex);
};

}  // namespace txtest
