// The simulator link against the simulator stand-in as a separate process, through the real
// client library: online with one connection and the title, offline when the window goes, and
// online again when it comes back.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/SimLinkTest.h"
#include "tests/support/SimStandin.h"

namespace {

using namespace std::chrono_literals;

class StandinLinkTest : public txtest::SimLinkTest {
  protected:
    // The presence check, as the window thread runs it, until the link is `online`.
    bool TickUntilOnline(bool online) {
        return txtest::WaitUntil(
            [&] {
                m_link->CheckSimPresence();
                std::this_thread::sleep_for(50ms);
                return m_link->IsOnline() == online;
            },
            10s);
    }

    txtest::SimStandin m_standin{m_sandbox};
};

TEST_F(StandinLinkTest, ComesOnlineAsksForTheTitleAndFollowsTheSimulatorsWindow) {
    ASSERT_TRUE(m_standin.Start());
    ASSERT_TRUE(TickUntilOnline(true));
    EXPECT_TRUE(WaitForLog("[Event]: Title received: Airbus A320 Tarvel; \n")) << Log();
    EXPECT_TRUE(
        m_standin.WaitForOutput("client 1: OPEN app=\"QUENNICK TARVELX CONNECT\" protocol=4 (FSX "
                                "SP2) version=10.0.61259.0\n",
                                5s));
    EXPECT_TRUE(m_host.lampOnline);

    ASSERT_EQ(m_standin.Command("window hide"), "ok");
    m_link->CheckSimPresence();
    EXPECT_FALSE(m_link->IsOnline()) << "at the first tick after the window went";
    EXPECT_FALSE(m_host.lampOnline);
    EXPECT_TRUE(m_standin.WaitForOutput("client 1: closed", 5s));

    // The window back: online anew, over one new connection.
    ASSERT_EQ(m_standin.Command("window show"), "ok");
    ASSERT_TRUE(TickUntilOnline(true));
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), ": OPEN app="), 2);
    EXPECT_EQ(LogCount("FSX online."), 2);
}

}  // namespace
