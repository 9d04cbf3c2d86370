#include "web/Socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "tests/support/SystemFacts.h"
#include "tests/support/TcpClient.h"
#include "tests/support/TestSupport.h"
#include "web/LocalAddress.h"
#include "web/SocketServer.h"

namespace {

using platform::ErrorKind;
using web::Socket;
using web::SocketServer;

using namespace std::chrono_literals;

// Lines come back exactly as if read one byte at a time, whatever the receives brought.
TEST(SocketTest, LinesArrivingTogetherComeBackOneAtATime) {
    const int port = txtest::FreeTcpPort();
    const auto listener = SocketServer::Listen(port, 5, 0).value;
    txtest::TcpClient client;
    ASSERT_TRUE(listener && client.Connect(port));
    const std::unique_ptr<Socket> server = listener->Accept().value;
    ASSERT_TRUE(server && client.Send("GET /MCDU HTTP/1.1\r\nAccept: text/html\r\n\r\nbo"));
    for (const char* line : {"GET /MCDU HTTP/1.1\r\n", "Accept: text/html\r\n", "\r\n"})
        EXPECT_EQ(server->ReceiveLine().value, line);
    ASSERT_TRUE(client.Send("dy\n"));
    EXPECT_EQ(server->ReceiveLine().value, "body\n");
}

// Tablets reach the server at the address the window shows: a listener takes connections there,
// not on the loopback only, and the address shown is never the loopback's when there is another.
TEST(LocalAddressTest, ListenerIsReachedAtTheAddressShown) {
    char address[17] = "";
    if (!web::GetLocalIPAddress(address)) GTEST_SKIP() << "no IPv4 address on this machine";
    EXPECT_TRUE(!txtest::HasUpNonLoopbackIPv4Interface() ||
                std::string(address).rfind("127.", 0) != 0)
        << address;
    const int port = txtest::FreeTcpPort();
    const auto listener = SocketServer::Listen(port, 5, 0).value;
    ASSERT_TRUE(listener);
    const std::atomic<bool> cancel{false};
    const platform::Result<platform::TcpConnection> connected =
        platform::ConnectTcp(address, std::to_string(port), false, 5s, cancel);
    ASSERT_TRUE(connected.IsOk()) << address << ": " << connected.status.Text();
    EXPECT_NE(listener->Accept().value, nullptr);
    platform::CloseSocket(connected.value.socket);
}

// Winsock is started with the layer's first socket and cleaned up with its last, so that every
// run of the web server thread finds it started.
TEST(NetworkLibraryTest, StartsWithTheFirstSocketAndEndsWithTheLast) {
    if (!txtest::NetworkLibraryStarted().has_value()) GTEST_SKIP() << "no library to start here";
    ASSERT_EQ(Socket::LiveCount(), 0);
    for (int round = 0; round < 2; ++round) {
        ASSERT_FALSE(*txtest::NetworkLibraryStarted());
        {
            const auto server = SocketServer::Listen(txtest::FreeTcpPort(), 5, 1).value;
            Socket::Open();  // a second socket, gone at once
            EXPECT_TRUE(*txtest::NetworkLibraryStarted());
        }
    }
    EXPECT_FALSE(*txtest::NetworkLibraryStarted());
}

}  // namespace
