// The MCDU input pipe under Windows: McduPipeClient against a real named pipe whose server end a
// test thread plays, with the errors Windows gives for each way a gauge can fail.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "log/LogStream.h"
#include "pipe/McduPipeClient.h"
#include "platform/Paths.h"
#include "platform/PipeConnection.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/support/PipeServer.h"

namespace {

using namespace std::chrono_literals;
using txtest::CountLines;
using txtest::PipeServer;

std::string Message(int code) {
    return std::string{static_cast<char>(code), '\0'};
}

class McduPipeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_logPath = m_dir.path() + "\\pipe.log";
        ASSERT_TRUE(m_log.Open(m_logPath));
    }

    std::unique_ptr<mcdupipe::McduPipeClient> MakeClient(
        std::chrono::milliseconds busyWait = 5000ms) {
        return std::make_unique<mcdupipe::McduPipeClient>(m_server.name(), m_log, busyWait);
    }
    // A client connected to the listening server.
    std::unique_ptr<mcdupipe::McduPipeClient> Connected() {
        auto client = MakeClient();
        EXPECT_TRUE(client->ConnectMcduPipe());
        EXPECT_TRUE(m_server.WaitForClient(2s));
        return client;
    }
    std::string Log() { return txtest::ReadFile(m_logPath); }
    std::string UnableLine(const char* error) {
        return "PIPE: Unable to open named pipe " + m_server.name() + " w/err " + error;
    }

    txtest::TempDir m_dir;
    std::string m_logPath;
    logging::LogStream m_log;
    PipeServer m_server{PipeServer::UniqueName("mcdu")};
};

TEST_F(McduPipeTest, DefaultNameIsTheGaugesPipe) {
    EXPECT_EQ(mcdupipe::McduPipeClient().PipePath(), "\\\\.\\pipe\\MCDU_Input");
    // The gauge's own pipe name reaches a server of that name.
    PipeServer gauge("\\\\.\\pipe\\MCDU_Input");
    ASSERT_TRUE(gauge.Create()) << gauge.LastError();
    mcdupipe::McduPipeClient client(std::string(), m_log);
    ASSERT_TRUE(client.ConnectMcduPipe());
    EXPECT_TRUE(client.SendKey(12));
    EXPECT_EQ(gauge.Read(2, 2s), Message(12));
}

TEST_F(McduPipeTest, NoServerIsError2AndAKeyThenReconnects) {
    auto client = MakeClient();
    EXPECT_FALSE(client->ConnectMcduPipe());
    EXPECT_FALSE(client->IsValid());
    EXPECT_EQ(CountLines(Log(), UnableLine("0x00000002")), 1);

    // A key while the handle is invalid is dropped; the one reconnection finds the gauge now.
    ASSERT_TRUE(m_server.Create());
    EXPECT_FALSE(client->SendKey(5));
    EXPECT_NE(Log().find("ERROR: Connection with MCDU input interface is lost. Please restart. "
                         "(The pressed key code: 5)"),
              std::string::npos);
    EXPECT_TRUE(client->IsConnected());
    ASSERT_TRUE(m_server.WaitForClient(2s));
    EXPECT_EQ(m_server.Read(2, 300ms), "");  // the dropped key never arrives
    EXPECT_TRUE(client->SendKey(6));
    EXPECT_EQ(m_server.Read(2, 2s), Message(6));
}

TEST_F(McduPipeTest, MessagesArriveAsTwoBytesEach) {
    ASSERT_TRUE(m_server.Create());
    auto client = Connected();
    EXPECT_NE(Log().find("PIPE: The named pipe, " + m_server.name() + ", is connected."),
              std::string::npos);
    EXPECT_TRUE(client->SendKey(7));
    EXPECT_TRUE(client->SendKey(68));
    EXPECT_TRUE(client->SendKey(300));  // only the low 8 bits go out
    EXPECT_TRUE(client->SendProbe());
    EXPECT_TRUE(client->SendClose());
    EXPECT_FALSE(client->IsValid());
    EXPECT_EQ(m_server.Read(10, 2s),
              Message(7) + Message(68) + Message(300 & 0xFF) + Message(0xFE) + Message(0xFF));
    const std::string log = Log();
    EXPECT_EQ(CountLines(log, "PIPE: Sends 2 bytes; Code: 7"), 1);
    EXPECT_EQ(CountLines(log, "PIPE: Sends 2 bytes; Code: 44"), 1);
    EXPECT_EQ(CountLines(log, "PIPE: Sends MSG_PIPE_DUMMY, 2 bytes."), 1);
    EXPECT_EQ(CountLines(log, "PIPE: Sends MSG_PIPE_CLOSE, 2 bytes."), 1);
}

TEST_F(McduPipeTest, NegativeKeyCodesAreRefused) {
    ASSERT_TRUE(m_server.Create());
    auto client = Connected();
    EXPECT_FALSE(client->SendKey(-1));
    EXPECT_FALSE(client->SendKey(-256));
    EXPECT_EQ(CountLines(Log(), "PIPE: Refused key code -1: not a key."), 1);
    EXPECT_EQ(m_server.Read(2, 300ms), "");
    EXPECT_TRUE(client->IsValid());
}

TEST_F(McduPipeTest, BusyPipeIs231WithoutWaitAndTimesOutWith121) {
    ASSERT_TRUE(m_server.Create());
    auto first = Connected();  // the one instance is taken

    auto impatient = MakeClient(0ms);
    EXPECT_FALSE(impatient->ConnectMcduPipe());
    EXPECT_EQ(CountLines(Log(), UnableLine("0x000000e7")), 1);

    auto waiting = MakeClient(200ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(waiting->ConnectMcduPipe());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
    EXPECT_EQ(CountLines(Log(), UnableLine("0x00000079")), 1);
}

TEST_F(McduPipeTest, BusyPipeIsTakenAsSoonAsTheGaugeListensAgain) {
    ASSERT_TRUE(m_server.Create());
    auto first = Connected();

    // The gauge lets the first client go after a while and listens again.
    auto gauge = std::async(std::launch::async, [this] {
        std::this_thread::sleep_for(400ms);
        m_server.Disconnect();
        return m_server.Listen() && m_server.WaitForClient(3s);
    });
    auto second = MakeClient(3000ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(second->ConnectMcduPipe());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(gauge.get());
    EXPECT_GE(took, 350ms);
    EXPECT_LT(took, 2500ms);
    EXPECT_TRUE(second->SendKey(9));
    EXPECT_EQ(m_server.Read(2, 2s), Message(9));
}

TEST_F(McduPipeTest, GaugeGoneIs232AndTheKeyIsWrittenAgainOnANewConnection) {
    ASSERT_TRUE(m_server.Create());
    auto client = Connected();
    ASSERT_TRUE(client->SendKey(1));
    ASSERT_EQ(m_server.Read(2, 2s), Message(1));

    // The gauge ends and a new one starts: a new instance of the same name.
    m_server.Close();
    ASSERT_TRUE(m_server.Create());
    EXPECT_TRUE(client->SendKey(7));
    const std::string log = Log();
    EXPECT_EQ(CountLines(log, "PIPE: WriteFile failed w/err 0x000000e8."), 1) << log;
    EXPECT_EQ(CountLines(log, "  Sends 0 bytes; Code: 7.  2 bytes to write; bResult: 0"), 1) << log;
    EXPECT_EQ(CountLines(log, "is connected."), 2);
    EXPECT_TRUE(m_server.WaitForClient(2s));
    EXPECT_EQ(m_server.Read(2, 2s), Message(7));
}

TEST_F(McduPipeTest, GaugeDisconnectedIs233AndTheProbeReconnects) {
    ASSERT_TRUE(m_server.Create());
    auto client = Connected();
    m_server.Disconnect();
    ASSERT_TRUE(m_server.Listen());

    EXPECT_FALSE(client->SendProbe());
    const std::string log = Log();
    EXPECT_EQ(CountLines(log, "PIPE: WriteFile failed w/err 0x000000e9."), 1) << log;
    EXPECT_EQ(CountLines(log, "  Sends 0 bytes; bResult: 0."), 1) << log;
    EXPECT_TRUE(client->IsConnected());
    ASSERT_TRUE(m_server.WaitForClient(2s));
    EXPECT_TRUE(client->SendKey(3));
    EXPECT_EQ(m_server.Read(2, 2s), Message(3));
}

TEST_F(McduPipeTest, GaugeThatLeavesForGoodLeavesNoHandle) {
    ASSERT_TRUE(m_server.Create());
    auto client = Connected();
    m_server.Close();  // and nothing listens any more

    EXPECT_FALSE(client->SendKey(4));
    const std::string log = Log();
    EXPECT_EQ(CountLines(log, "PIPE: WriteFile failed w/err 0x000000e8."), 1) << log;
    EXPECT_EQ(CountLines(log, UnableLine("0x00000002")), 1) << log;
    EXPECT_FALSE(client->IsValid());
}

TEST(PipeConnectionTest, AWriteToAGaugeThatStopsReadingGivesUpAfterItsTimeOut) {
    PipeServer gauge(PipeServer::UniqueName("stuck"), false, 64);
    ASSERT_TRUE(gauge.Create());
    platform::Result<std::unique_ptr<platform::PipeConnection>> opened =
        platform::OpenPipe(gauge.name(), 0ms);
    ASSERT_TRUE(opened.IsOk()) << opened.status.Code();
    platform::PipeConnection& pipe = *opened.value;
    ASSERT_TRUE(pipe.SetWriteMode(300ms).IsOk());
    ASSERT_TRUE(gauge.WaitForClient(2s));

    const std::string bytes(1 << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    const auto write = pipe.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(write.status.Code(), 258);  // WAIT_TIMEOUT
    EXPECT_LT(write.value, bytes.size());
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 3s);
}

}  // namespace
