#pragma once
// A stand-in for the program around the web server: the simulator's state as the test sets it,
// and a record of what the server and the pages ask for (pause commands, address labels). Any
// thread may call it.

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
    void GetFlightData(sim::FlightData& out) override {
        platform::MutexLock lock(m_mutex);
        out = m_flightData;
    }
    void PauseSim(bool pause) override {
        platform::MutexLock lock(m_mutex);
        m_pauses.push_back(pause);
    }
    std::string SettingsFolder() const override { return m_settingsFolder; }
    void ShowAddressLabel(const std::string& label) override {
        platform::MutexLock lock(m_mutex);
        m_labels.push_back(label);
    }

    void SetFlightData(const sim::FlightData& data) {
        platform::MutexLock lock(m_mutex);
        m_flightData = data;
    }
    // The pause commands given so far (true: pause, false: resume).
    std::vector<bool> Pauses() {
        platform::MutexLock lock(m_mutex);
        return m_pauses;
    }
    std::vector<std::string> Labels() {
        platform::MutexLock lock(m_mutex);
        return m_labels;
    }

    std::atomic<bool> online{true};
    std::atomic<bool> paused{false};

  private:
    const std::string m_settingsFolder;
    platform::Mutex m_mutex;
    sim::FlightData m_flightData GUARDED_BY(m_mutex){};
    std::vector<bool> m_pauses GUARDED_BY(m_mutex);
    std::vector<std::string> m_labels GUARDED_BY(m_mutex);
};

}  // namespace txtest
