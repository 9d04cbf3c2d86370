#pragma once
// What the tests of the simulator link share: a link of its own in a sandbox with its log, a
// stand-in for the program around it, the log read without its timestamp prefixes, and the
// presence check run by the test as the window thread would run it.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "sim/SimLink.h"
#include "tests/support/FakeLinkHost.h"
#include "tests/support/TestSupport.h"

namespace txtest {

// Log text with the timestamp prefixes taken out, so lines compare as written.
std::string WithoutPrefixes(const std::string& log);

class SimLinkTest : public ::testing::Test {
  protected:
    void SetUp() override;
    // What shutdown does for the link.
    void TearDown() override;

    // The log as written, without prefixes.
    std::string Log() const;
    // How often `needle` occurs in the log (it may span lines).
    int LogCount(const std::string& needle) const;
    bool WaitForLog(const std::string& needle,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // The presence check, run by the test thread as the window thread: every 100 ms until
    // `done` holds; how long it took.
    std::chrono::milliseconds TickUntil(const std::function<bool()>& done,
                                        std::chrono::milliseconds limit = std::chrono::seconds(3));
    // True once the link's worker has ended and logged so.
    bool WorkerEnded();

    Sandbox m_sandbox;
    FakeLinkHost m_host;
    std::unique_ptr<sim::SimLink> m_link;
};

}  // namespace txtest
