#include "web/Socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TcpClient.h"
#include "tests/support/TestSupport.h"
#include "web/SocketServer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Runs `action` and returns the text it threw, or "" when it threw nothing.
template <typename Action>
std::string ThrownText(Action action) {
    try {
        action();
    } catch (const char* text) {
        return text;
    }
    return "";
}

class SocketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_logPath = m_dir.path() + "/socket.log";
        ASSERT_TRUE(LogFile.Open(m_logPath));
    }
    void TearDown() override { LogFile.Close(); }
    std::string Log() const { return txtest::ReadLog(m_logPath); }

    // A listener on a free port, a raw client connected to it, and the accepted server end.
    void Connect() {
        m_port = txtest::FreeTcpPort();
        m_listener = std::make_unique<SocketServer>(m_port, 5, 0);
        ASSERT_TRUE(m_client.Connect(m_port));
        m_server = m_listener->Accept();
        ASSERT_NE(m_server, nullptr);
    }

    txtest::TempDir m_dir;
    std::string m_logPath;
    int m_port = 0;
    std::unique_ptr<SocketServer> m_listener;
    txtest::TcpClient m_client;
    std::unique_ptr<Socket> m_server;
};

TEST_F(SocketTest, LinesArrivingTogetherComeBackOneAtATime) {
    Connect();
    ASSERT_TRUE(m_client.Send("GET /MCDU HTTP/1.1\r\nAccept: text/html\r\n\r\nbody"));
    EXPECT_EQ(m_server->ReceiveLine(), "GET /MCDU HTTP/1.1\r\n");
    EXPECT_EQ(m_server->ReceiveLine(), "Accept: text/html\r\n");
    EXPECT_EQ(m_server->ReceiveLine(), "\r\n");
    // The rest of a line already received waits for its line feed.
    ASSERT_TRUE(m_client.Send(" and more\n\n"));
    EXPECT_EQ(m_server->ReceiveLine(), "body and more\n");
    EXPECT_EQ(m_server->ReceiveLine(), "");
    EXPECT_EQ(txtest::CountLines(Log(), "empty line received"), 1);

    // The line bound holds for each line of a batch, not for the batch.
    Connect();
    m_server->SetReceiveBounds(16, Clock::time_point::max(), nullptr);
    ASSERT_TRUE(m_client.Send(std::string(15, 'a') + "\n" + std::string(15, 'b') + "\n" +
                              std::string(16, 'c') + "\n"));
    EXPECT_EQ(m_server->ReceiveLine(), std::string(15, 'a') + "\n");
    EXPECT_EQ(m_server->ReceiveLine(), std::string(15, 'b') + "\n");
    EXPECT_EQ(m_server->ReceiveLine(), "");
    EXPECT_EQ(m_server->LastReceiveStop(), Socket::ReceiveStop::kLineTooLong);
}

TEST_F(SocketTest, LineArrivingInPiecesIsJoined) {
    Connect();
    std::thread writer([this] {
        for (const char* piece : {"GE", "T /pa", "use HTTP/1.", "1\r", "\nUser-Agent: x\n"}) {
            m_client.Send(piece);
            std::this_thread::sleep_for(20ms);
        }
    });
    EXPECT_EQ(m_server->ReceiveLine(), "GET /pause HTTP/1.1\r\n");
    EXPECT_EQ(m_server->ReceiveLine(), "User-Agent: x\n");
    writer.join();
}

TEST_F(SocketTest, LoneLineFeedIsEmptyAndLoggedWhileCrLfIsNot) {
    Connect();
    ASSERT_TRUE(m_client.Send("\r\n\n"));
    EXPECT_EQ(m_server->ReceiveLine(), "\r\n");
    EXPECT_EQ(txtest::CountLines(Log(), "empty line received"), 0);
    EXPECT_EQ(m_server->ReceiveLine(), "");
    EXPECT_EQ(m_server->LastReceiveStop(), Socket::ReceiveStop::kNone);
    const std::string log = Log();
    EXPECT_NE(log.find("]: Webserver: empty line received: [\n].\n"), std::string::npos) << log;
    EXPECT_EQ(txtest::CountLines(log, "empty line received"), 1);
}

TEST_F(SocketTest, PeerClosingHalfWayThroughALineGivesNothing) {
    Connect();
    ASSERT_TRUE(m_client.Send("GET /resu"));
    m_client.Close();
    EXPECT_EQ(m_server->ReceiveLine(), "");
    EXPECT_EQ(Log(), "");
}

TEST_F(SocketTest, NonBlockingSocketReturnsTheBytesCollectedSoFar) {
    Connect();
    platform::SetNonBlocking(m_server->Handle());
    EXPECT_EQ(m_server->ReceiveLine(), "");  // nothing there yet
    ASSERT_TRUE(m_client.Send("GET /part"));
    ASSERT_TRUE(
        txtest::WaitUntil([&] { return txtest::BytesWaiting(m_server->Handle()) == 9; }, 2s));
    EXPECT_EQ(m_server->ReceiveLine(), "GET /part");
}

TEST_F(SocketTest, BoundsEndALineThatIsTooLongOrTooSlow) {
    Connect();
    m_server->SetReceiveBounds(16, Clock::time_point::max(), nullptr);
    ASSERT_TRUE(m_client.Send(std::string(15, 'a') + "\n"));
    EXPECT_EQ(m_server->ReceiveLine(), std::string(15, 'a') + "\n");  // 16 bytes: still allowed
    ASSERT_TRUE(m_client.Send(std::string(16, 'b') + "\n"));
    EXPECT_EQ(m_server->ReceiveLine(), "");
    EXPECT_EQ(m_server->LastReceiveStop(), Socket::ReceiveStop::kLineTooLong);

    // Long lines are refused whatever the chunks they arrive in.
    Connect();
    m_server->SetReceiveBounds(8192, Clock::time_point::max(), nullptr);
    ASSERT_TRUE(m_client.Send(std::string(20000, 'c')));
    EXPECT_EQ(m_server->ReceiveLine(), "");
    EXPECT_EQ(m_server->LastReceiveStop(), Socket::ReceiveStop::kLineTooLong);

    Connect();
    const auto start = Clock::now();
    m_server->SetReceiveBounds(8192, start + 300ms, nullptr);
    ASSERT_TRUE(m_client.Send("GET / HTTP/1.1"));  // and never a line feed
    EXPECT_EQ(m_server->ReceiveLine(), "");
    const auto took = Clock::now() - start;
    EXPECT_EQ(m_server->LastReceiveStop(), Socket::ReceiveStop::kTimedOut);
    EXPECT_GE(took, 290ms);
    EXPECT_LT(took, 3s);
}

TEST_F(SocketTest, WaitForALineEndsOnAbortFlagOrCloseFromAnotherThread) {
    Connect();
    std::atomic<bool> abort{false};
    m_server->SetReceiveBounds(8192, Clock::time_point::max(), &abort);
    std::thread raiser([&] {
        std::this_thread::sleep_for(100ms);
        abort = true;
    });
    auto start = Clock::now();
    EXPECT_EQ(m_server->ReceiveLine(), "");
    EXPECT_EQ(m_server->LastReceiveStop(), Socket::ReceiveStop::kInterrupted);
    EXPECT_LT(Clock::now() - start, 1s);
    raiser.join();

    // Without any bound the receive blocks in the kernel; Close still ends it.
    Connect();
    std::thread closer([this] {
        std::this_thread::sleep_for(100ms);
        m_server->Close();
    });
    start = Clock::now();
    EXPECT_EQ(m_server->ReceiveLine(), "");
    EXPECT_LT(Clock::now() - start, 1s);
    closer.join();
    EXPECT_FALSE(m_server->IsValid());
    bool closed = false;
    m_client.ReadUntilClosed(2s, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(m_server->ReceiveLine(), "");  // a closed socket reads nothing
}

TEST_F(SocketTest, SendsGoOutUnchangedAndAGonePeerNeverKillsTheProcess) {
    Connect();
    m_server->SendLine("HTTP/1.1 202 OK");
    const std::string binary("\x89PNG\0\0\x01\n", 8);
    EXPECT_EQ(m_server->SendBytes(binary), 8);
    m_server->SendLine("");
    m_server->Close();
    bool closed = false;
    EXPECT_EQ(m_client.ReadUntilClosed(2s, &closed), "HTTP/1.1 202 OK\n" + binary + "\n");
    EXPECT_TRUE(closed);

    // A gathered send larger than the socket buffers arrives whole and in order, however
    // slowly the peer reads.
    Connect();
    std::string large(3 << 20, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 4096);
    std::thread sender([&] { EXPECT_TRUE(m_server->SendAll({"head\n", "", large, "\n"})); });
    std::this_thread::sleep_for(100ms);  // let the buffers fill, so the send is cut short
    std::string received;
    while (received.size() < large.size() + 6 && m_client.ReadSome(received, 2s))
        std::this_thread::sleep_for(1ms);
    sender.join();
    EXPECT_TRUE(received == "head\n" + large + "\n") << received.size();

    // A peer that never reads: the send time-out, set before the first send, ends a send that
    // cannot go on, with the answer not all sent. More than the loopback's buffers can take.
    Connect();
    m_server->SetSendTimeout(200ms);
    const std::string huge(64 << 20, 'x');
    std::atomic<bool> ended{false};
    bool sentAll = true;
    std::thread stuck([&] {
        sentAll = m_server->SendAll({huge});
        ended = true;
    });
    const bool gaveUp = txtest::WaitUntil([&] { return ended.load(); }, 10s);
    if (!gaveUp) m_client.Close();  // frees a send that would otherwise wait for ever
    stuck.join();
    EXPECT_TRUE(gaveUp) << "a send to a peer that never reads outlasted its time-out";
    EXPECT_FALSE(sentAll);

    // Writing to a peer that has gone: an error result, no SIGPIPE.
    Connect();
    m_client.Close();
    long result = 0;
    for (int i = 0; i < 100 && result >= 0; ++i) {
        result = m_server->SendBytes(std::string(4096, 'x'));
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_LT(result, 0);
    EXPECT_FALSE(m_server->SendAll({"HTTP/1.1 ", "202 OK\n"}));
}

TEST_F(SocketTest, PortThatAnotherSocketListensOnIsRefusedWithoutLeaks) {
    const int port = txtest::FreeTcpPort();
    SocketServer holder(port, 5, 0);
    const int live = Socket::LiveCount();
    const int handles = txtest::OpenHandleCount();
    EXPECT_EQ(ThrownText([&] { SocketServer second(port, 5, 0); }), "INVALID_SOCKET");
    EXPECT_EQ(Socket::LastError(), txtest::AddressInUseError());
    EXPECT_EQ(Socket::LiveCount(), live);
    EXPECT_EQ(txtest::OpenHandleCount(), handles);
}

TEST_F(SocketTest, RestartBindsWhileOldConnectionsLinger) {
    Connect();
    // The server end closes first, so its side of the connection lingers in TIME_WAIT.
    m_server.reset();
    bool closed = false;
    m_client.ReadUntilClosed(2s, &closed);
    ASSERT_TRUE(closed);
    m_client.Close();
    m_listener.reset();
    EXPECT_EQ(ThrownText([&] { SocketServer again(m_port, 5, 0); }), "");
}

TEST_F(SocketTest, AcceptWaitsOnABlockingListenerAndNotOnANonBlockingOne) {
    const int port = txtest::FreeTcpPort();
    SocketServer blocking(port, 5, 0);
    EXPECT_FALSE(blocking.WaitForClient(50ms));
    txtest::TcpClient client;
    std::thread connector([&] {
        std::this_thread::sleep_for(200ms);
        client.Connect(port);
    });
    const auto start = Clock::now();
    std::unique_ptr<Socket> accepted = blocking.Accept();
    EXPECT_GE(Clock::now() - start, 150ms);
    connector.join();
    EXPECT_NE(accepted, nullptr);

    SocketServer nonBlocking(txtest::FreeTcpPort(), 5, 1);
    std::unique_ptr<Socket> none;
    EXPECT_EQ(ThrownText([&] { none = nonBlocking.Accept(); }), "");
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(nonBlocking.LastAcceptWouldBlock());

    // A listener that no longer listens: accept fails for good, at once (on Windows a listener
    // that was shut down would keep an accept waiting).
    blocking.Close();
    EXPECT_EQ(ThrownText([&] { blocking.Accept(); }), "Invalid Socket");
    EXPECT_EQ(Socket::LastError(), 0) << "the refusal is the listener's own";
    EXPECT_FALSE(blocking.LastAcceptWouldBlock());
}

TEST_F(SocketTest, LiveCounterFollowsSocketsOnEveryThread) {
    const int base = Socket::LiveCount();
    {
        Socket plain;
        SocketServer listener(txtest::FreeTcpPort(), 5, 0);
        EXPECT_EQ(Socket::LiveCount(), base + 2);
    }
    EXPECT_EQ(Socket::LiveCount(), base);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 200; ++i) {
                Socket a;
                Socket b;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(Socket::LiveCount(), base);
}

}  // namespace
