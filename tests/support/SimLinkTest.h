#pragma once
// What the tests of the simulator link share: a link of its own in a sandbox with its log, and a
// stand-in for the program around it that counts what the link asks of it (lamp switches,
// connections started, gauge probes), from whichever thread asks.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <regex>
#include <string>

#include "log/Log.h"
#include "sim/LinkHost.h"
#include "sim/SimLink.h"
#include "tests/support/TestSupport.h"

namespace txtest {

class FakeLinkHost final : public sim::LinkHost {
  public:
    void SetOnlineLamp(bool online) override { lampOnline = online; }
    void OnSimconnectStarted() override { ++started; }
    void ProbeMcdu() override { ++probes; }

    std::atomic<bool> lampOnline{false};
    std::atomic<int> started{0};
    std::atomic<int> probes{0};
};

class SimLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();
        m_sandbox.CreateSettingsFolder();
        ASSERT_TRUE(logging::LogFile.Open(m_sandbox.LogPath()));
        m_link = std::make_unique<sim::SimLink>(
            m_host, m_sandbox.settings() + "TarvelXConnectExtended.ini");
    }
    // What shutdown does for the link.
    void TearDown() override {
        m_link->CloseSimconnectThread();
        m_link->ClearSimConnect();
        m_link.reset();
        logging::LogFile.Close();
    }

    // The log as written, without the timestamp prefixes, so lines compare as written.
    std::string Log() const {
        static const std::regex prefix(R"(\[[^\]\n]{23}\]: )");
        return std::regex_replace(ReadLog(m_sandbox.LogPath()), prefix, "");
    }
    // Lines of the log that hold `needle`.
    int LogCount(const std::string& needle) const { return CountLines(Log(), needle); }
    bool WaitForLog(const std::string& needle) const {
        return WaitUntil([&] { return Log().find(needle) != std::string::npos; },
                         std::chrono::seconds(5));
    }
    // True once the link's worker has ended and logged so.
    bool WorkerEnded() {
        return WaitUntil([&] { return !m_link->IsSimThreadRegistered(); },
                         std::chrono::seconds(5)) &&
               WaitForLog("SimConnect thread finished.\n");
    }

    Sandbox m_sandbox;
    FakeLinkHost m_host;
    std::unique_ptr<sim::SimLink> m_link;
};

}  // namespace txtest
