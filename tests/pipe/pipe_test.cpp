// McduPipeClient against a gauge end that a test plays (a Unix-domain socket here, the named pipe
// on Windows): the bytes and log lines, and how each way a gauge can fail is met. The error
// numbers differ by system and come from SystemFacts.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "log/LogStream.h"
#include "pipe/McduPipeClient.h"
#include "platform/Paths.h"
#include "platform/PipeConnection.h"
#include "tests/support/GaugeEnd.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using txtest::CountLines;
using txtest::GaugeEnd;

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) bytes += static_cast<char>(value);
    return bytes;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class PipeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();
        m_path = platform::McduPipePath();
        ASSERT_TRUE(m_log.Open(m_dir.path() + "/pipe.log"));
    }

    std::unique_ptr<mcdupipe::McduPipeClient> MakeClient(
        std::chrono::milliseconds busyWait = 5000ms) {
        return std::make_unique<mcdupipe::McduPipeClient>(m_path, m_log, busyWait);
    }
    std::string Log() { return txtest::ReadLog(m_dir.path() + "/pipe.log"); }
    static std::string Hex(int error) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(error));
        return text;
    }
    std::string UnableLine(int error) {
        return "PIPE: Unable to open named pipe " + m_path + " w/err " + Hex(error) + "\n";
    }
    static std::string FailedLine(int error) {
        return "]: PIPE: WriteFile failed w/err " + Hex(error) + ".\n";
    }

    txtest::Sandbox m_sandbox;
    txtest::TempDir m_dir;
    std::string m_path;
    logging::LogStream m_log;
    const txtest::PipeErrors m_errors = txtest::PipeErrorNumbers();
};

TEST_F(PipeTest, DefaultPathIsTheGaugesPipe) {
    mcdupipe::McduPipeClient client;
    EXPECT_EQ(client.PipePath(), txtest::GaugePipePath(m_sandbox.runtime()));
    EXPECT_FALSE(client.IsValid());
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(PipeTest, KeyProbeAndCloseGoOutAsTwoByteMessages) {
    GaugeEnd gauge(m_path);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(gauge.Accept());
    EXPECT_TRUE(client->IsConnected());
    // Codes pass unchecked; only the low 8 bits of larger numbers go out.
    for (int code : {7, 68, 99, 0x123}) EXPECT_TRUE(client->SendKey(code));
    EXPECT_TRUE(client->SendProbe());
    EXPECT_TRUE(client->SendClose());
    EXPECT_FALSE(client->IsValid());
    EXPECT_FALSE(client->IsConnected());
    EXPECT_EQ(gauge.Read(13), Bytes({7, 0, 68, 0, 99, 0, 0x23, 0, 0xFE, 0, 0xFF, 0}));
    EXPECT_TRUE(gauge.ended());

    const std::string log = Log();
    for (const std::string& line :
         {"]: PIPE: The named pipe, " + m_path + ", is connected.\n",
          std::string("]: PIPE: Sends 2 bytes; Code: 7\n"), std::string("; Code: 35\n"),
          std::string("]: PIPE: Sends MSG_PIPE_DUMMY, 2 bytes.\n"),
          std::string("]: PIPE: Sends MSG_PIPE_CLOSE, 2 bytes.\n")})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_EQ(CountLines(log, "PIPE: Sends 2 bytes; Code: "), 4);
    // Closed: neither the probe nor a second close writes or logs anything.
    EXPECT_FALSE(client->SendProbe());
    EXPECT_FALSE(client->SendClose());
    EXPECT_EQ(Log(), log);
}

TEST_F(PipeTest, NegativeCodeIsRefusedWithoutWritingOrReconnecting) {
    auto client = MakeClient();
    EXPECT_FALSE(client->SendKey(-1));
    EXPECT_EQ(CountLines(Log(), "PIPE: Refused key code -1: not a key."), 1);
    EXPECT_EQ(CountLines(Log(), "Unable to open"), 0);  // not even a reconnection attempt

    GaugeEnd gauge(m_path);
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(gauge.Accept());
    EXPECT_FALSE(client->SendKey(-255));
    EXPECT_TRUE(client->SendKey(1));
    EXPECT_EQ(gauge.Read(2), Bytes({1, 0}));
    EXPECT_EQ(CountLines(Log(), "PIPE: Refused key code -255: not a key."), 1);
}

TEST_F(PipeTest, AbsentGaugeThenFirstKeyIsDroppedAndReconnects) {
    auto client = MakeClient();
    EXPECT_FALSE(client->ConnectMcduPipe());
    EXPECT_EQ(CountLines(Log(), "]: "), 1);  // this one line and nothing else
    EXPECT_NE(Log().find("]: " + UnableLine(m_errors.absent)), std::string::npos);
    EXPECT_FALSE(client->SendProbe());  // not connected: nothing to log

    GaugeEnd gauge(m_path);
    EXPECT_FALSE(client->SendKey(12));
    const std::string log = Log();
    const size_t lost = log.find(
        "ERROR: Connection with MCDU input interface is lost. Please restart. (The pressed key "
        "code: 12)\n");
    ASSERT_NE(lost, std::string::npos);
    EXPECT_GT(log.find("PIPE: The named pipe, " + m_path + ", is connected.\n"), lost);
    EXPECT_TRUE(client->IsConnected());
    ASSERT_TRUE(gauge.Accept());
    EXPECT_TRUE(client->SendKey(13));
    EXPECT_EQ(gauge.Read(2), Bytes({13, 0}));  // the dropped 12 never went out
}

TEST_F(PipeTest, KeyToAGaugeThatWentAwayReconnectsAndArrives) {
    GaugeEnd gauge(m_path);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(gauge.Accept());
    ASSERT_TRUE(client->SendKey(7));
    ASSERT_EQ(gauge.Read(2), Bytes({7, 0}));

    gauge.Restart();
    EXPECT_TRUE(client->SendKey(8));
    ASSERT_TRUE(gauge.Accept());
    EXPECT_TRUE(client->SendKey(9));  // nothing after it is lost either
    EXPECT_EQ(gauge.Read(4), Bytes({8, 0, 9, 0}));
    const std::string log = Log();
    const size_t failed = log.find(FailedLine(m_errors.restarted));
    const size_t sends = log.find("]:   Sends 0 bytes; Code: 8.  2 bytes to write; bResult: 0\n");
    const size_t reconnected =
        log.find("PIPE: The named pipe, " + m_path + ", is connected.\n", sends);
    ASSERT_NE(failed, std::string::npos) << log;
    EXPECT_LT(failed, sends);
    ASSERT_NE(reconnected, std::string::npos) << log;
    EXPECT_GT(log.find("PIPE: Sends 2 bytes; Code: 8\n"), reconnected);
}

TEST_F(PipeTest, ProbeToAGaugeThatWentAwayReopensThePipe) {
    GaugeEnd gauge(m_path);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(gauge.Accept());
    gauge.Restart();

    EXPECT_FALSE(client->SendProbe());
    const std::string log = Log();
    const size_t failed = log.find(FailedLine(m_errors.restarted));
    ASSERT_NE(failed, std::string::npos) << log;
    // The failure pair has no line end of its own: the next entry follows on the same line.
    EXPECT_NE(log.find("]:   Sends 0 bytes; bResult: 0.[", failed), std::string::npos);
    EXPECT_EQ(CountLines(log, "is connected."), 2);
    ASSERT_TRUE(gauge.Accept());
    EXPECT_TRUE(client->SendProbe());
    EXPECT_EQ(gauge.Read(2), Bytes({0xFE, 0}));
}

TEST_F(PipeTest, KeyToAGaugeGoneForGoodLeavesNoDeadHandle) {
    auto gauge = std::make_unique<GaugeEnd>(m_path);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(gauge->Accept());
    gauge->Leave();

    EXPECT_FALSE(client->SendKey(20));
    EXPECT_NE(Log().find(FailedLine(m_errors.ended)), std::string::npos) << Log();
    EXPECT_NE(Log().find(UnableLine(m_errors.absent)), std::string::npos) << Log();
    EXPECT_FALSE(client->IsValid());

    // The next key takes the invalid-handle path: logged, dropped, one reconnection.
    gauge = std::make_unique<GaugeEnd>(m_path);
    EXPECT_FALSE(client->SendKey(21));
    EXPECT_EQ(CountLines(Log(), "(The pressed key code: 21)"), 1);
    ASSERT_TRUE(gauge->Accept());
    EXPECT_TRUE(client->SendKey(22));
    EXPECT_EQ(gauge->Read(2), Bytes({22, 0}));
}

TEST_F(PipeTest, BusyPipeIsWaitedOutUntilTheGaugeTakesTheNextClient) {
    GaugeEnd gauge(m_path);
    std::vector<std::unique_ptr<platform::PipeConnection>> others;
    for (;;) {
        auto other = platform::OpenPipe(m_path, 0ms);
        if (!other.IsOk() || others.size() == 8) break;
        others.push_back(std::move(other.value));
    }
    ASSERT_FALSE(platform::OpenPipe(m_path, 0ms).IsOk());

    // At once without a wait; with one, only once it has run out.
    EXPECT_FALSE(MakeClient(0ms)->ConnectMcduPipe());
    EXPECT_TRUE(EndsWith(Log(), UnableLine(m_errors.busy))) << Log();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MakeClient(200ms)->ConnectMcduPipe());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
    EXPECT_TRUE(EndsWith(Log(), UnableLine(m_errors.busyAfterWait))) << Log();
    EXPECT_EQ(CountLines(Log(), "Unable to open"), 2);

    auto client = MakeClient();
    std::atomic<bool> done{false};
    bool connected = false;
    std::thread connecting([&] {
        connected = client->ConnectMcduPipe();
        done = true;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(done.load());  // still waiting for room
    gauge.Restart();
    EXPECT_TRUE(gauge.Accept());
    connecting.join();
    EXPECT_TRUE(connected);
}

TEST_F(PipeTest, AGaugeThatStopsReadingMakesAKeyGiveUpInsteadOfHanging) {
    GaugeEnd gauge(m_path);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(gauge.Accept());
    // Keys until the pipe's buffer is full; the next waits out the write time-out and is lost,
    // the gauge still connected.
    std::atomic<bool> gaveUp{false};
    std::thread keys([&] {
        while (client->SendKey(1)) {
        }
        gaveUp = true;
    });
    const bool returned = txtest::WaitUntil([&] { return gaveUp.load(); }, 60s);
    gauge.Leave();  // frees a writer that would wait for ever
    keys.join();
    EXPECT_TRUE(returned);
    const std::string log = Log();
    EXPECT_NE(log.find(FailedLine(m_errors.stalled)), std::string::npos);
    EXPECT_EQ(CountLines(log, "WriteFile failed"), 1);
    EXPECT_EQ(CountLines(log, "is connected."), 1);
}

}  // namespace
