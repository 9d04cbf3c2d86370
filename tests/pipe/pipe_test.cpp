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
using namespace std::string_literals;
using txtest::CountLines;
using txtest::GaugeEnd;

class PipeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();
        m_path = platform::McduPipePath();
        ASSERT_TRUE(m_log.Open(m_dir.path() + "/pipe.log"));
    }
    std::unique_ptr<mcdupipe::McduPipeClient> Client(std::chrono::milliseconds busyWait = 5s) {
        return std::make_unique<mcdupipe::McduPipeClient>(m_path, m_log, busyWait);
    }
    std::string Log() { return txtest::ReadLog(m_dir.path() + "/pipe.log"); }
    bool Logged(const std::string& text) { return Log().find(text) != std::string::npos; }
    // "0x%08lx", as the pipe's lines print an error number.
    static std::string Hex(int error) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(error));
        return text;
    }
    std::string Unable(int error) {
        return "]: PIPE: Unable to open named pipe " + m_path + " w/err " + Hex(error) + "\n";
    }
    std::string Failed(int error) {
        return "]: PIPE: WriteFile failed w/err " + Hex(error) + ".\n";
    }
    std::string Connected() { return "]: PIPE: The named pipe, " + m_path + ", is connected.\n"; }

    txtest::Sandbox m_sandbox;
    txtest::TempDir m_dir;
    std::string m_path;
    logging::LogStream m_log;
    const txtest::PipeErrors m_errors = txtest::PipeErrorNumbers();
};

TEST_F(PipeTest, KeyProbeAndCloseGoOutAsTwoByteMessages) {
    EXPECT_EQ(mcdupipe::McduPipeClient().PipePath(), txtest::GaugePipePath(m_sandbox.runtime()));
    GaugeEnd gauge(m_path);
    auto client = Client();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(gauge.Accept());
    // Only the low 8 bits of large codes go out; negative ones not at all.
    for (int code : {7, 68, -1, 99, -255, 0x123}) EXPECT_EQ(client->SendKey(code), code >= 0);
    EXPECT_TRUE(client->SendProbe());
    EXPECT_TRUE(client->SendClose());
    EXPECT_FALSE(client->IsValid());
    EXPECT_FALSE(client->IsConnected());
    EXPECT_EQ(gauge.Read(13), "\x07\0\x44\0\x63\0\x23\0\xFE\0\xFF\0"s);
    EXPECT_TRUE(gauge.ended());

    const std::string log = Log();
    for (const std::string& line :
         {Connected(), "]: PIPE: Sends 2 bytes; Code: 7\n"s, "; Code: 35\n"s,
          "]: PIPE: Refused key code -255: not a key.\n"s,
          "]: PIPE: Sends MSG_PIPE_DUMMY, 2 bytes.\n"s,
          "]: PIPE: Sends MSG_PIPE_CLOSE, 2 bytes.\n"s})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_EQ(CountLines(log, "]: "), 9);
    // Closed: neither the probe nor a second close writes or logs anything.
    EXPECT_FALSE(client->SendProbe());
    EXPECT_FALSE(client->SendClose());
    EXPECT_EQ(Log(), log);
}

// A gauge absent at first (its first key dropped), then restarted twice, then gone for good: the
// next key or probe reconnects each time.
TEST_F(PipeTest, AbsentRestartedOrGoneGaugeIsReconnectedByTheNextKeyOrProbe) {
    auto client = Client();
    EXPECT_FALSE(client->ConnectMcduPipe());
    EXPECT_FALSE(client->SendProbe());  // not connected: nothing to log
    EXPECT_FALSE(client->SendKey(-1));  // refused before any reconnection
    EXPECT_EQ(CountLines(Log(), "]: "), 2);
    EXPECT_TRUE(Logged(Unable(m_errors.absent)));

    GaugeEnd gauge(m_path);
    EXPECT_FALSE(client->SendKey(12));
    const std::string log = Log();
    const size_t lost = log.find(
        "]: ERROR: Connection with MCDU input interface is lost. Please restart. (The pressed key "
        "code: 12)\n");
    ASSERT_NE(lost, std::string::npos);
    EXPECT_GT(log.find(Connected()), lost);
    EXPECT_TRUE(client->IsConnected());
    ASSERT_TRUE(gauge.Accept());
    EXPECT_TRUE(client->SendKey(13));
    EXPECT_EQ(gauge.Read(2), "\x0d\0"s);  // the dropped 12 never went out

    gauge.Restart();
    EXPECT_TRUE(client->SendKey(8));  // written again on the new connection
    ASSERT_TRUE(gauge.Accept());
    EXPECT_EQ(gauge.Read(2), "\x08\0"s);
    const std::string failed = Failed(m_errors.restarted);
    EXPECT_TRUE(Logged(failed + "[") &&
                Logged("]:   Sends 0 bytes; Code: 8.  2 bytes to write; bResult: 0\n[") &&
                Logged(Connected() + "[") && Logged("]: PIPE: Sends 2 bytes; Code: 8\n"))
        << Log();

    gauge.Restart();
    EXPECT_FALSE(client->SendProbe());  // lost, but the pipe is open again
    // The failure pair has no line end of its own: the next entry follows on the same line.
    EXPECT_TRUE(Logged(failed + "[") && Logged("]:   Sends 0 bytes; bResult: 0.[")) << Log();
    EXPECT_EQ(CountLines(Log(), "is connected."), 3);
    ASSERT_TRUE(gauge.Accept());
    EXPECT_TRUE(client->SendKey(9));
    EXPECT_EQ(gauge.Read(2), "\x09\0"s);

    gauge.Leave();  // for good: no dead handle is kept, the next key reconnects
    EXPECT_FALSE(client->SendKey(20));
    EXPECT_TRUE(Logged(Failed(m_errors.ended)) && Logged(Unable(m_errors.absent))) << Log();
    EXPECT_FALSE(client->IsValid());
}

TEST_F(PipeTest, BusyPipeIsWaitedOutUntilTheGaugeTakesTheNextClient) {
    GaugeEnd gauge(m_path);
    std::vector<std::unique_ptr<platform::PipeConnection>> others;  // take every instance
    for (auto other = platform::OpenPipe(m_path, platform::PipeWait{});
         other.IsOk() && others.size() < 8;
         other = platform::OpenPipe(m_path, platform::PipeWait{}))
        others.push_back(std::move(other.value));
    // At once without a wait; with one, only once it has run out.
    EXPECT_FALSE(Client(0ms)->ConnectMcduPipe());
    EXPECT_TRUE(Logged(Unable(m_errors.busy)));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Client(200ms)->ConnectMcduPipe());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
    EXPECT_EQ(Log().rfind(Unable(m_errors.busyAfterWait)) + Unable(0).size(), Log().size());

    // A stop ends the wait long before it would run out: shutdown is not held by a busy gauge.
    auto stopped = Client();
    std::thread abandoned([&] { EXPECT_FALSE(stopped->ConnectMcduPipe()); });
    std::this_thread::sleep_for(100ms);
    const auto stopAt = std::chrono::steady_clock::now();
    stopped->Stop();
    abandoned.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 2s);

    auto client = Client();
    std::atomic<bool> done{false};
    std::thread connecting([&] { done = client->ConnectMcduPipe(); });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(done.load());  // still waiting for room
    gauge.Restart();
    EXPECT_TRUE(gauge.Accept());
    connecting.join();
    EXPECT_TRUE(done.load());
}

TEST_F(PipeTest, AGaugeThatStopsReadingMakesAKeyGiveUpInsteadOfHanging) {
    GaugeEnd gauge(m_path);
    auto client = Client();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(gauge.Accept());
    // Keys until the pipe's buffer is full; the next waits out the write time-out and is lost,
    // the gauge still connected.
    std::atomic<bool> gaveUp{false};
    std::thread keys([&] {
        while (client->SendKey(1)) continue;
        gaveUp = true;
    });
    const bool returned = txtest::WaitUntil([&] { return gaveUp.load(); }, 60s);
    if (!returned) gauge.Leave();  // frees a writer that would wait for ever
    keys.join();
    ASSERT_TRUE(returned);
    EXPECT_TRUE(Logged(Failed(m_errors.stalled)));
    EXPECT_EQ(CountLines(Log(), "WriteFile failed"), 1);
    EXPECT_EQ(CountLines(Log(), "is connected."), 1);

    // At shutdown a key's wait ends on the stop, and the close message has a short try of its own.
    std::thread waiting([&] { EXPECT_FALSE(client->SendKey(2)); });
    std::this_thread::sleep_for(200ms);
    const auto stopAt = std::chrono::steady_clock::now();
    client->Stop();
    waiting.join();
    EXPECT_FALSE(client->SendClose());
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 2s);
    EXPECT_EQ(CountLines(Log(), "WriteFile failed"), 3);
    EXPECT_FALSE(client->SendKey(3)) << "a key after the close message opens nothing again";
    EXPECT_EQ(CountLines(Log(), "is connected."), 1);
    gauge.Leave();
}

}  // namespace
