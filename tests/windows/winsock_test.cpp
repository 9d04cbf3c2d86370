// The web server's sockets over Winsock: web/Socket and web/SocketServer against clients on
// 127.0.0.1, and the library's start-up and clean-up driven by the live-socket count.

#include <gtest/gtest.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "platform/Net.h"
#include "tests/support/TestSupport.h"
#include "web/Socket.h"
#include "web/SocketServer.h"

namespace {

using web::Socket;
using web::SocketServer;

using namespace std::chrono_literals;
using platform::ErrorKind;

std::unique_ptr<SocketServer> Listen(int port, int type) {
    platform::Result<std::unique_ptr<SocketServer>> listening =
        SocketServer::Listen(static_cast<uint32_t>(port), 5, type);
    EXPECT_TRUE(listening.IsOk()) << listening.status.Text();
    return std::move(listening.value);
}

// Whether Winsock is started in this process: a socket call tells "not initialised" otherwise.
bool LibraryStarted() {
    const SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe == INVALID_SOCKET) return ::WSAGetLastError() != WSANOTINITIALISED;
    ::closesocket(probe);
    return true;
}

// A raw Winsock client on 127.0.0.1, holding its own reference on the library.
class Client {
  public:
    Client() {
        WSADATA data{};
        m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Client() {
        if (m_socket != INVALID_SOCKET) ::closesocket(m_socket);
        if (m_started) ::WSACleanup();
    }
    bool Connect(int port) {
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(port));
        return ::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    bool Send(const std::string& bytes) {
        return txtest::SendAllBytes(static_cast<platform::SocketHandle>(m_socket), bytes.data(),
                                    bytes.size());
    }
    // Everything until the server closes, or what came within `timeout`.
    std::string ReceiveAll(std::chrono::milliseconds timeout) {
        const DWORD ms = static_cast<DWORD>(timeout.count());
        ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms),
                     sizeof ms);
        std::string got;
        char buffer[4096];
        for (;;) {
            const int n = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (n <= 0) return got;
            got.append(buffer, static_cast<size_t>(n));
        }
    }

  private:
    bool m_started = false;
    SOCKET m_socket = INVALID_SOCKET;
};

TEST(WinsockLibraryTest, StartsWithTheFirstSocketAndEndsWithTheLast) {
    ASSERT_EQ(Socket::LiveCount(), 0);
    ASSERT_FALSE(LibraryStarted());
    {
        const auto server = Listen(txtest::FreeTcpPort(), 1);
        EXPECT_EQ(Socket::LiveCount(), 1);
        EXPECT_TRUE(LibraryStarted());
        {
            const auto other = Socket::Open().value;
            EXPECT_EQ(Socket::LiveCount(), 2);
        }
        EXPECT_TRUE(LibraryStarted());
    }
    EXPECT_EQ(Socket::LiveCount(), 0);
    EXPECT_FALSE(LibraryStarted());
    // And again for the next run of the web server thread.
    {
        const auto again = Socket::Open().value;
        EXPECT_TRUE(LibraryStarted());
    }
    EXPECT_FALSE(LibraryStarted());
}

TEST(WinsockLibraryTest, AFailedBindUndoesItsCount) {
    const int port = txtest::FreeTcpPort();
    const auto first = Listen(port, 0);
    const platform::Status second = SocketServer::Listen(static_cast<uint32_t>(port), 5, 0).status;
    EXPECT_EQ(second.Kind(), ErrorKind::kFailed);
    EXPECT_EQ(second.Code(), WSAEADDRINUSE);
    EXPECT_EQ(Socket::LiveCount(), 1);
}

class WinsockServerTest : public ::testing::Test {
  protected:
    int m_port = txtest::FreeTcpPort();
};

TEST_F(WinsockServerTest, LinesComeBackAsSentAndTheAnswerArrivesWhole) {
    const auto server = Listen(m_port, 0);
    auto client = std::async(std::launch::async, [this] {
        Client raw;
        if (!raw.Connect(m_port)) return std::string("no connection");
        raw.Send("GET /MCDU HTTP/1.1\r\nHost: tablet\r\n\r\n");
        return raw.ReceiveAll(5s);
    });
    ASSERT_TRUE(server->WaitForClient(5s));
    std::unique_ptr<Socket> connection = server->Accept().value;
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->ReceiveLine().value, "GET /MCDU HTTP/1.1\r\n");
    EXPECT_EQ(connection->ReceiveLine().value, "Host: tablet\r\n");
    EXPECT_EQ(connection->ReceiveLine().value, "\r\n");
    const std::string body(100000, 'b');
    EXPECT_TRUE(
        connection->SendAll({"HTTP/1.1 200 OK\n", "Content-Length: 100000\n\n", body, "\n"}));
    connection->Close();
    connection.reset();
    EXPECT_EQ(client.get(), "HTTP/1.1 200 OK\nContent-Length: 100000\n\n" + body + "\n");
}

TEST_F(WinsockServerTest, AConnectionTakesItsListenersMode) {
    // Non-blocking: a receive with nothing there yet says so at once, and the line is read
    // once it has come.
    {
        const auto server = Listen(m_port, 1);
        EXPECT_EQ(server->Accept().status.Kind(), ErrorKind::kWouldBlock);
        Client raw;
        ASSERT_TRUE(raw.Connect(m_port));
        ASSERT_TRUE(server->WaitForClient(5s));
        std::unique_ptr<Socket> connection = server->Accept().value;
        ASSERT_TRUE(connection);
        auto first =
            std::async(std::launch::async, [&] { return connection->ReceiveLine().status.Kind(); });
        const bool prompt = first.wait_for(5s) == std::future_status::ready;
        ASSERT_TRUE(raw.Send("early line\n"));  // also frees a receive that waits
        EXPECT_TRUE(prompt) << "a connection of a non-blocking listener waits in its receive";
        if (prompt) {
            EXPECT_EQ(first.get(), ErrorKind::kWouldBlock);
            ASSERT_TRUE(platform::WaitReadable(connection->Handle(), 5s).IsOk());
            EXPECT_EQ(connection->ReceiveLine().value, "early line\n");
        }
    }

    // Blocking: the receive waits for a line that comes late.
    const auto server = Listen(m_port, 0);
    std::promise<void> accepted;
    auto client = std::async(std::launch::async, [this, done = accepted.get_future()]() mutable {
        Client raw;
        if (!raw.Connect(m_port)) return false;
        done.wait();
        std::this_thread::sleep_for(300ms);
        return raw.Send("late line\n");
    });
    std::unique_ptr<Socket> connection = server->Accept().value;
    ASSERT_TRUE(connection);
    accepted.set_value();
    EXPECT_EQ(connection->ReceiveLine().value, "late line\n");
    EXPECT_TRUE(client.get());
}

TEST_F(WinsockServerTest, CloseFromAnotherThreadEndsAWaitingReceive) {
    const auto server = Listen(m_port, 0);
    Client raw;
    ASSERT_TRUE(raw.Connect(m_port));
    std::unique_ptr<Socket> connection = server->Accept().value;
    ASSERT_TRUE(connection);
    auto receiving =
        std::async(std::launch::async, [&] { return connection->ReceiveLine().value; });
    std::this_thread::sleep_for(200ms);
    connection->Close();
    ASSERT_EQ(receiving.wait_for(3s), std::future_status::ready);
    EXPECT_EQ(receiving.get(), "");
}

TEST_F(WinsockServerTest, AReceiveDeadlineEndsTheWait) {
    const auto server = Listen(m_port, 0);
    Client raw;
    ASSERT_TRUE(raw.Connect(m_port));
    std::unique_ptr<Socket> connection = server->Accept().value;
    ASSERT_TRUE(connection);
    raw.Send("no line feed yet");
    connection->SetReceiveBounds(1024, Socket::Clock::now() + 300ms, nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection->ReceiveLine().status.Kind(), ErrorKind::kTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
}

TEST_F(WinsockServerTest, WaitingForAClientTimesOut) {
    const auto server = Listen(m_port, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(server->WaitForClient(200ms));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 180ms);
    EXPECT_LT(took, 2s);
}

TEST(NetTest, ErrorTextIsTheSystemsWords) {
    const std::string text = platform::SystemErrorText(WSAECONNREFUSED);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find("Winsock error"), std::string::npos) << text;
    EXPECT_NE(text.back(), '\n');
}

TEST(NetTest, LocalAddressIsADottedIPv4AddressOtherMachinesCanReach) {
    const std::string address = platform::LocalIPv4Address();
    ASSERT_FALSE(address.empty());
    in_addr parsed{};
    ASSERT_EQ(::inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
    EXPECT_NE(ntohl(parsed.s_addr) >> 24, 127u) << address;
}

}  // namespace
