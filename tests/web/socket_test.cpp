#include "web/Socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
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

using web::Socket;
using web::SocketServer;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using platform::ErrorKind;

std::unique_ptr<SocketServer> Listen(int port, int type = 0) {
    platform::Result<std::unique_ptr<SocketServer>> listening = SocketServer::Listen(port, 5, type);
    EXPECT_TRUE(listening.IsOk()) << listening.status.Text();
    return std::move(listening.value);
}

class SocketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_logPath = m_dir.path() + "/socket.log";
        ASSERT_TRUE(logging::LogFile.Open(m_logPath));
    }
    void TearDown() override { logging::LogFile.Close(); }
    std::string Log() const { return txtest::ReadLog(m_logPath); }

    // A listener on a free port, a raw client connected to it, and the accepted server end.
    // `type` 1: a non-blocking listener, whose connections do not block either, as the server's.
    void Connect(int type = 0) {
        m_port = txtest::FreeTcpPort();
        m_listener = Listen(m_port, type);
        ASSERT_NE(m_listener, nullptr);
        ASSERT_TRUE(m_client.Connect(m_port));
        m_server = m_listener->Accept().value;
        ASSERT_NE(m_server, nullptr);
    }
    // The next line's text, whatever ended it.
    std::string Line() { return m_server->ReceiveLine().value; }
    // Why the next line did not come.
    ErrorKind Stop() { return m_server->ReceiveLine().status.Kind(); }

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
    EXPECT_EQ(Line(), "GET /MCDU HTTP/1.1\r\n");
    EXPECT_EQ(Line(), "Accept: text/html\r\n");
    EXPECT_EQ(Line(), "\r\n");
    // The rest of a line already received waits for its line feed.
    ASSERT_TRUE(m_client.Send(" and more\n\n"));
    EXPECT_EQ(Line(), "body and more\n");
    EXPECT_EQ(Line(), "");
    EXPECT_EQ(txtest::CountLines(Log(), "empty line received"), 1);

    // The line bound holds for each line of a batch, not for the batch.
    Connect();
    m_server->SetReceiveBounds(16, Clock::time_point::max(), nullptr);
    ASSERT_TRUE(m_client.Send(std::string(15, 'a') + "\n" + std::string(15, 'b') + "\n" +
                              std::string(16, 'c') + "\n"));
    EXPECT_EQ(Line(), std::string(15, 'a') + "\n");
    EXPECT_EQ(Line(), std::string(15, 'b') + "\n");
    EXPECT_EQ(Stop(), ErrorKind::kTooLong);
}

TEST_F(SocketTest, LineArrivingInPiecesIsJoined) {
    Connect();
    std::thread writer([this] {
        for (const char* piece : {"GE", "T /pa", "use HTTP/1.", "1\r", "\nUser-Agent: x\n"}) {
            m_client.Send(piece);
            std::this_thread::sleep_for(20ms);
        }
    });
    EXPECT_EQ(Line(), "GET /pause HTTP/1.1\r\n");
    EXPECT_EQ(Line(), "User-Agent: x\n");
    writer.join();
}

TEST_F(SocketTest, LoneLineFeedIsEmptyAndLoggedWhileCrLfIsNot) {
    Connect();
    ASSERT_TRUE(m_client.Send("\r\n\n"));
    EXPECT_EQ(Line(), "\r\n");
    EXPECT_EQ(txtest::CountLines(Log(), "empty line received"), 0);
    EXPECT_EQ(Stop(), ErrorKind::kOk);
    const std::string log = Log();
    EXPECT_NE(log.find("]: Webserver: empty line received: [\n].\n"), std::string::npos) << log;
    EXPECT_EQ(txtest::CountLines(log, "empty line received"), 1);
}

TEST_F(SocketTest, PeerClosingHalfWayThroughALineGivesNothing) {
    Connect();
    ASSERT_TRUE(m_client.Send("GET /resu"));
    m_client.Close();
    EXPECT_EQ(Stop(), ErrorKind::kClosed);
    EXPECT_EQ(Log(), "");
}

TEST_F(SocketTest, ConnectionOfANonBlockingListenerReturnsTheBytesCollectedSoFar) {
    Connect(1);
    auto nothingYet = std::async(std::launch::async, [this] { return Stop(); });
    const bool prompt = nothingYet.wait_for(5s) == std::future_status::ready;
    if (!prompt) m_client.Close();  // frees a receive that waits
    ASSERT_TRUE(prompt) << "a connection of a non-blocking listener waits in its receive";
    EXPECT_EQ(nothingYet.get(), ErrorKind::kWouldBlock);
    ASSERT_TRUE(m_client.Send("GET /part"));
    ASSERT_TRUE(
        txtest::WaitUntil([&] { return txtest::BytesWaiting(m_server->Handle()) == 9; }, 2s));
    EXPECT_EQ(Line(), "GET /part");
}

TEST_F(SocketTest, BoundsEndALineThatIsTooLongOrTooSlow) {
    Connect();
    m_server->SetReceiveBounds(16, Clock::time_point::max(), nullptr);
    ASSERT_TRUE(m_client.Send(std::string(15, 'a') + "\n"));
    EXPECT_EQ(Line(), std::string(15, 'a') + "\n");  // 16 bytes: still allowed
    ASSERT_TRUE(m_client.Send(std::string(16, 'b') + "\n"));
    EXPECT_EQ(Stop(), ErrorKind::kTooLong);

    // Long lines are refused whatever the chunks they arrive in.
    Connect();
    m_server->SetReceiveBounds(8192, Clock::time_point::max(), nullptr);
    ASSERT_TRUE(m_client.Send(std::string(20000, 'c')));
    EXPECT_EQ(Stop(), ErrorKind::kTooLong);

    Connect();
    const auto start = Clock::now();
    m_server->SetReceiveBounds(8192, start + 300ms, nullptr);
    ASSERT_TRUE(m_client.Send("GET / HTTP/1.1"));  // and never a line feed
    EXPECT_EQ(Stop(), ErrorKind::kTimedOut);
    const auto took = Clock::now() - start;
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
    EXPECT_EQ(Stop(), ErrorKind::kCancelled);
    EXPECT_LT(Clock::now() - start, 1s);
    raiser.join();

    // Without any bound the receive blocks in the kernel; Close still ends it.
    Connect();
    std::thread closer([this] {
        std::this_thread::sleep_for(100ms);
        m_server->Close();
    });
    start = Clock::now();
    EXPECT_EQ(Line(), "");
    EXPECT_LT(Clock::now() - start, 1s);
    closer.join();
    EXPECT_FALSE(m_server->IsValid());
    bool closed = false;
    m_client.ReadUntilClosed(2s, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(Line(), "");  // a closed socket reads nothing
}

TEST_F(SocketTest, SendsGoOutUnchangedAndAGonePeerNeverKillsTheProcess) {
    Connect(1);
    m_server->SendLine("HTTP/1.1 202 OK");
    const std::string binary("\x89PNG\0\0\x01\n", 8);
    EXPECT_EQ(m_server->SendBytes(binary).value, 8u);
    m_server->SendLine("");
    m_server->Close();
    bool closed = false;
    EXPECT_EQ(m_client.ReadUntilClosed(2s, &closed), "HTTP/1.1 202 OK\n" + binary + "\n");
    EXPECT_TRUE(closed);

    // A gathered send larger than the socket buffers arrives whole and in order, however
    // slowly the peer reads.
    Connect(1);
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
    Connect(1);
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
    Connect(1);
    m_client.Close();
    platform::Status result;
    for (int i = 0; i < 100 && result.IsOk(); ++i) {
        result = m_server->SendBytes(std::string(4096, 'x')).status;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(result.IsOk());
    EXPECT_FALSE(m_server->SendAll({"HTTP/1.1 ", "202 OK\n"}));
}

TEST_F(SocketTest, PortThatAnotherSocketListensOnIsRefusedWithoutLeaks) {
    const int port = txtest::FreeTcpPort();
    const std::unique_ptr<SocketServer> holder = Listen(port);
    const int live = Socket::LiveCount();
    const int handles = txtest::OpenHandleCount();
    const platform::Status second = SocketServer::Listen(port, 5, 0).status;
    EXPECT_EQ(second.Kind(), ErrorKind::kFailed);
    EXPECT_EQ(second.Code(), txtest::AddressInUseError());
    EXPECT_EQ(Socket::LiveCount(), live);
    EXPECT_EQ(txtest::OpenHandleCount(), handles);
}

TEST(NetTest, ErrorTextIsTheSystemsWordsWithoutALineEnd) {
    const std::string text = platform::SystemErrorText(txtest::ConnectionRefusedError());
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find("Winsock error"), std::string::npos) << text;
    EXPECT_NE(text.back(), '\n');
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
    EXPECT_TRUE(SocketServer::Listen(m_port, 5, 0).IsOk());
}

TEST_F(SocketTest, AcceptWaitsOnABlockingListenerAndNotOnANonBlockingOne) {
    const int port = txtest::FreeTcpPort();
    const std::unique_ptr<SocketServer> blocking = Listen(port);
    const auto waitStart = Clock::now();
    EXPECT_FALSE(blocking->WaitForClient(200ms));
    EXPECT_GE(Clock::now() - waitStart, 180ms);
    txtest::TcpClient client;
    std::thread connector([&] {
        std::this_thread::sleep_for(200ms);
        client.Connect(port);
    });
    const auto start = Clock::now();
    std::unique_ptr<Socket> accepted = blocking->Accept().value;
    EXPECT_GE(Clock::now() - start, 150ms);
    connector.join();
    EXPECT_NE(accepted, nullptr);

    const std::unique_ptr<SocketServer> nonBlocking = Listen(txtest::FreeTcpPort(), 1);
    const platform::Result<std::unique_ptr<Socket>> none = nonBlocking->Accept();
    EXPECT_EQ(none.status.Kind(), ErrorKind::kWouldBlock);
    EXPECT_EQ(none.value, nullptr);

    // A listener that no longer listens: accept fails for good, at once (on Windows a listener
    // that was shut down would keep an accept waiting).
    blocking->Close();
    const platform::Status refused = blocking->Accept().status;
    EXPECT_EQ(refused.Kind(), ErrorKind::kClosed);
    EXPECT_EQ(refused.Code(), 0) << "the refusal is the listener's own";
}

TEST_F(SocketTest, LiveCounterFollowsSocketsOnEveryThread) {
    const int base = Socket::LiveCount();
    {
        const auto plain = Socket::Open().value;
        const auto listener = Listen(txtest::FreeTcpPort());
        EXPECT_EQ(Socket::LiveCount(), base + 2);
    }
    EXPECT_EQ(Socket::LiveCount(), base);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 200; ++i) {
                const auto a = Socket::Open().value;
                const auto b = Socket::Open().value;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(Socket::LiveCount(), base);
}

// Winsock is started with the layer's first socket and cleaned up with its last, so that every
// run of the web server thread finds it started.
TEST(NetworkLibraryTest, StartsWithTheFirstSocketAndEndsWithTheLast) {
    if (!txtest::NetworkLibraryStarted().has_value()) GTEST_SKIP() << "no library to start here";
    ASSERT_EQ(Socket::LiveCount(), 0);
    ASSERT_FALSE(*txtest::NetworkLibraryStarted());
    {
        const auto server = Listen(txtest::FreeTcpPort(), 1);
        EXPECT_TRUE(*txtest::NetworkLibraryStarted());
        {
            const auto other = Socket::Open().value;
            EXPECT_EQ(Socket::LiveCount(), 2);
        }
        EXPECT_TRUE(*txtest::NetworkLibraryStarted());
    }
    EXPECT_FALSE(*txtest::NetworkLibraryStarted());
    {
        const auto again = Socket::Open().value;
        EXPECT_TRUE(*txtest::NetworkLibraryStarted());
    }
    EXPECT_FALSE(*txtest::NetworkLibraryStarted());
}

}  // namespace
