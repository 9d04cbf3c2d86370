// The simulator link against the simulator stand-in as a separate process: online and offline
// with its window, flight data, pause, and the online lamp it asks for.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "log/Log.h"
#include "tests/support/SimLinkTest.h"
#include "tests/support/SimStandin.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using txtest::SimLinkTest;

// ---- With the stand-in ------------------------------------------------------------------------

class StandinLinkTest : public SimLinkTest {
  protected:
    void StartStandin(const std::string& ini = "") {
        if (!ini.empty()) m_sandbox.WriteIni(ini);
        ASSERT_TRUE(m_standin.Start());
        const auto took = TickUntil([&] { return m_link->IsOnline(); });
        ASSERT_TRUE(m_link->IsOnline());
        EXPECT_LT(took, 1s);
        ASSERT_TRUE(WaitForLog("SimConnect thread started.\n"));
        // The worker subscribes after it has started; events sent before would reach nobody.
        ASSERT_TRUE(m_standin.WaitForOutput(
            "SUBSCRIBE_TO_SYSTEM_EVENT event=1 name=\"AircraftLoaded\"", 5s));
    }
    std::string Command(const std::string& line) { return m_standin.Command(line); }

    txtest::SimStandin m_standin{m_sandbox};
};

TEST_F(StandinLinkTest, ComesOnlineWithinASecondAndAsksForTheTitle) {
    StartStandin();
    EXPECT_TRUE(m_host.lampOnline);
    EXPECT_TRUE(WaitForLog("[Event]: Title received: Airbus A320 Tarvel; \n"));
    const std::string log = Log();
    EXPECT_LT(log.find("Starting the SimConnect thread...\n"), log.find("FSX online.\n"));
    EXPECT_NE(log.find("Open: AppName=\"TarvelX Simulator Stand-in\"  AppVersion=10.0.61259.0  "
                       "SimConnectVersion=10.0.61259.0\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(
        m_standin.WaitForOutput("client 1: OPEN app=\"QUENNICK TARVELX CONNECT\" protocol=4 "
                                "(FSX SP2) version=10.0.61259.0\n",
                                5s));
    EXPECT_TRUE(m_standin.WaitForOutput(
        "REQUEST_DATA_ON_SIM_OBJECT_TYPE request=0 define=0 radius=0 type=0", 5s));
    EXPECT_TRUE(
        m_standin.WaitForOutput("SUBSCRIBE_TO_SYSTEM_EVENT event=1 name=\"AircraftLoaded\"", 5s));
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), "REQUEST_DATA_ON_SIM_OBJECT request="), 0)
        << "no periodic request without DataRequestPeriod";
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), "client 2"), 0) << "one connection only";
}

TEST_F(StandinLinkTest, GoesOfflineWithinASecondOfTheWindowGoingAway) {
    StartStandin();
    ASSERT_EQ(Command("window hide"), "ok");
    // Within a second means at the first tick after the window went, however slow the machine.
    m_link->CheckSimPresence();
    EXPECT_FALSE(m_link->IsOnline());
    EXPECT_EQ(m_link->GetSimConnectHandle(), nullptr);
    EXPECT_FALSE(m_link->IsSimThreadRegistered());
    EXPECT_FALSE(m_host.lampOnline);
    EXPECT_EQ(m_host.lampSwitches, 2);
    const std::string log = Log();
    EXPECT_NE(log.find("FSX offline.\nCloseSimconnectThread...\n"), std::string::npos) << log;
    EXPECT_TRUE(m_standin.WaitForOutput("client 1: closed", 5s));

    // Without its window the simulator takes no new client, so the link stays offline however
    // often it tries (an attempt may span ticks: the connection is opened off this thread).
    TickUntil(
        [&] { return txtest::CountLines(m_standin.Output(), "refused (no main window)") >= 2; },
        10s);
    EXPECT_FALSE(m_link->IsOnline());
    EXPECT_GE(txtest::CountLines(m_standin.Output(), "refused (no main window)"), 2);
    EXPECT_EQ(LogCount("FSX online.\n"), 1);

    // The window comes back: the link comes online anew.
    ASSERT_EQ(Command("window show"), "ok");
    TickUntil([&] { return m_link->IsOnline(); }, 10s);
    EXPECT_TRUE(m_link->IsOnline());
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), ": OPEN app="), 2);
}

TEST_F(StandinLinkTest, ALostConnectionUnderAnOpenWindowStaysOnlineWithoutAWorker) {
    StartStandin();
    ASSERT_EQ(Command("drop close"), "ok");
    ASSERT_TRUE(WorkerEnded());
    EXPECT_NE(Log().find("<CallDispatch>: 0xC00000B0.\nPossibly sim closed, exiting too.\n"),
              std::string::npos);
    for (int i = 0; i < 3; ++i) m_link->CheckSimPresence();
    EXPECT_TRUE(m_link->IsOnline());
    m_link->PauseSim(true);
    EXPECT_EQ(LogCount("Sim paused.\n"), 1);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), "TRANSMIT_CLIENT_EVENT"), 0);
}

TEST_F(StandinLinkTest, QuitClosesTheWorkerInOnePassAndTheLinkGoesOfflineWithTheWindow) {
    StartStandin();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Command("quit"), "ok");
    ASSERT_TRUE(WorkerEnded());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_NE(Log().find("CloseSimconnectThread...\nCloseSimconnectThread complete\n"
                         "[Event]: Sim quit.\n"),
              std::string::npos)
        << Log();
    EXPECT_EQ(m_standin.Process().Wait(5s), 0);
    TickUntil([&] { return !m_link->IsOnline(); });
    EXPECT_FALSE(m_link->IsOnline());
    EXPECT_EQ(LogCount("FSX offline.\n"), 1);
}

TEST_F(StandinLinkTest, FlightDataIsLoggedConvertedAndOutlivesTheSimulator) {
    StartStandin("[Common]\nDataRequestPeriod=1\n");
    EXPECT_TRUE(m_standin.WaitForOutput(
        "REQUEST_DATA_ON_SIM_OBJECT request=1 define=1 object=0 period=4 flags=0 origin=0 "
        "interval=1 limit=0",
        5s));
    for (const char* command :
         {"set ias 9.9", "set mach 0.78", "set altitude 35000", "set heading 1.5707963267948966",
          "set wpdistance 1852", "set fuel 12345.6", "set groundspeed 0.514444",
          "set vspeed -3.048", "set wpid ABCDEFGH"})
        ASSERT_EQ(Command(command), "ok held") << command;
    ASSERT_EQ(Command("data"), "ok");
    const std::string line =
        "[Event]: Flight data received: IAS=9 Kts; Mach=0.78 M; Alt=35000 Ft; Hdg=90; "
        "Distance=1.00 NM; CurrentFuelTotal=12345 LBS; Ground speed=1 Kts; "
        "Vert speed=-10.00 feet/sec; NextWP=ABCDEFGH.\n";
    ASSERT_TRUE(WaitForLog(line)) << Log();
    ASSERT_EQ(Command("set ias -9.9"), "ok held");
    ASSERT_EQ(Command("data"), "ok");
    ASSERT_TRUE(WaitForLog("Flight data received: IAS=-9 Kts; "));

    ASSERT_EQ(Command("quit"), "ok");
    EXPECT_EQ(m_standin.Process().Wait(5s), 0);
    TickUntil([&] { return !m_link->IsOnline(); });
    ASSERT_FALSE(m_link->IsOnline());
    sim::FlightData kept{};
    m_link->GetFlightData(kept);
    EXPECT_EQ(kept.ias, -9.9);
    EXPECT_EQ(kept.heading, 1.5707963267948966);
    EXPECT_EQ(kept.wpDistance, 1852.0);
    EXPECT_EQ(kept.groundSpeed, 0.514444);
    EXPECT_EQ(std::string(kept.nextWpId, 8), "ABCDEFGH");
}

TEST_F(StandinLinkTest, TheFlightItselfDeliversCredibleValues) {
    StartStandin("[Common]\nDataRequestPeriod=1\n");
    ASSERT_EQ(Command("start"), "ok");
    ASSERT_TRUE(WaitForLog(
        "[Event]: EVENT_PLANE_LOADED: SimObjects\\Airplanes\\Tarvel_A320\\aircraft.cfg.\n"));
    ASSERT_TRUE(WaitForLog("[Event]: Sim start.\n"));
    // Rolling: within a few seconds the airspeed has grown, and the next waypoint is named.
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            sim::FlightData now{};
            m_link->GetFlightData(now);
            return now.ias > 3 && now.fuelTotal < 18000 && now.fuelTotal > 17000 &&
                   std::string(now.nextWpId) == "TOBAK";
        },
        5s));
}

TEST_F(StandinLinkTest, PauseFollowsTheSimulatorsReportAndPauseSimSendsItsEvents) {
    StartStandin();
    ASSERT_EQ(Command("pause 1"), "ok");
    ASSERT_TRUE(txtest::WaitUntil([&] { return m_link->IsPaused(); }, 5s));
    ASSERT_EQ(Command("pause 0"), "ok");
    ASSERT_TRUE(txtest::WaitUntil([&] { return !m_link->IsPaused(); }, 5s));
    ASSERT_EQ(Command("pause 1"), "ok");
    ASSERT_TRUE(txtest::WaitUntil([&] { return m_link->IsPaused(); }, 5s));
    ASSERT_EQ(Command("pause 2"), "ok");
    ASSERT_TRUE(WaitForLog("[Event]: Sim pause state: 2.\n"));
    EXPECT_FALSE(m_link->IsPaused());

    m_link->PauseSim(true);
    ASSERT_TRUE(m_standin.WaitForOutput(
        "TRANSMIT_CLIENT_EVENT object=0 event=3 (PAUSE_ON) data=0 group=1 flags=0x10", 5s));
    EXPECT_TRUE(txtest::WaitUntil([&] { return m_link->IsPaused(); }, 5s))
        << "the simulator reports the pause it was asked for";
    m_link->PauseSim(true);
    EXPECT_TRUE(txtest::WaitUntil(
        [&] { return txtest::CountLines(m_standin.Output(), "event=3 (PAUSE_ON)") == 2; }, 5s));
    m_link->PauseSim(false);
    ASSERT_TRUE(m_standin.WaitForOutput(
        "TRANSMIT_CLIENT_EVENT object=0 event=2 (PAUSE_OFF) data=0 group=1 flags=0x10", 5s));
    EXPECT_TRUE(txtest::WaitUntil([&] { return !m_link->IsPaused(); }, 5s));
    EXPECT_EQ(LogCount("Sim paused.\n"), 2);
    EXPECT_EQ(LogCount("Sim resumed.\n"), 1);
}

TEST_F(StandinLinkTest, UnusualMessagesGiveTheirExactLines) {
    StartStandin();
    ASSERT_TRUE(WaitForLog("[Event]: Title received:"));
    for (const char* command :
         {"kind 0", "kind 5", "kind 7", "kind 10", "kind 42", "event 9 1", "filename 7 other.cfg",
          "filename 1 plane b.cfg", "exception 3 5 2", "title", "start"})
        ASSERT_EQ(Command(command), "ok") << command;
    ASSERT_TRUE(WaitForLog("[Event]: Sim start.\n"));
    const std::string log = Log();
    const std::string expected =
        "Received:0\nReceived:5\nReceived:7\nReceived:10\nReceived:42\nUnknown event: 9\n"
        "[Event]: EVENT_PLANE_LOADED: plane b.cfg.\n"
        "***** EXCEPTION=3; SendID=5; Index=2; cbData=24\n"
        "\nCouldn't retrieve the AC title."
        "[Event]: EVENT_PLANE_LOADED: SimObjects\\Airplanes\\Tarvel_A320\\aircraft.cfg.\n"
        "[Event]: Sim start.\n";
    EXPECT_NE(log.find(expected), std::string::npos) << log;
    EXPECT_EQ(LogCount("other.cfg"), 0);
    EXPECT_TRUE(m_link->IsSimThreadRegistered()) << "none of these ends the worker";
}

}  // namespace
