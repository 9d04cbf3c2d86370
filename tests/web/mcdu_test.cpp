#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/Paths.h"
#include "tests/support/FakeServerHost.h"
#include "tests/support/GaugeEnd.h"
#include "tests/support/Golden.h"
#include "tests/support/TcpClient.h"
#include "tests/support/TestSupport.h"
#include "web/McduKeyTable.h"
#include "web/McduPages.h"
#include "web/PageHandler.h"
#include "web/WebServer.h"

namespace {

using web::HttpRequest;
using web::McduKeyCodeFromPath;

// Every key of the table with the code a press of its path hands to the pipe, one line each:
// path, code, label. The table's own code field must say the same.
TEST(McduPages, KeyTableAsServed) {
    txtest::FakeServerHost host;
    std::string table;
    for (const web::McduKey& key : web::McduKeyTable) {
        HttpRequest request;
        request.path = key.path;
        web::ServePage(request, host);
        ASSERT_TRUE(request.mcduKey.has_value()) << key.path;
        EXPECT_EQ(*request.mcduKey, key.code) << key.path;
        table +=
            std::string(key.path) + " " + std::to_string(*request.mcduKey) + " " + key.label + "\n";
    }
    EXPECT_TRUE(txtest::MatchesGolden("mcdu-keys.txt", table));
}

// The last two characters, as atoi reads them: whatever precedes them, a sign, or nothing.
TEST(McduPages, KeyCodeIsTheLastTwoCharactersReadAsAtoiReadsThem) {
    EXPECT_EQ(McduKeyCodeFromPath("/xyzMCDU_KB_12"), 12);
    EXPECT_EQ(McduKeyCodeFromPath("/MCDU_KB_123"), 23);
    EXPECT_EQ(McduKeyCodeFromPath("/MCDU_KB_-1"), -1);
    EXPECT_EQ(McduKeyCodeFromPath("/MCDU_KB_5"), 0);
}

// A press on the tablet, through the server thread, reaches the gauge as its code and a zero
// byte. (That a negative code never does is the pipe client's case.)
TEST(McduKeyRoute, KeyCodesArriveAtTheGauge) {
    using namespace std::chrono_literals;
    txtest::Sandbox sandbox;
    sandbox.Apply();
    txtest::GaugeEnd gauge(platform::McduPipePath());
    ASSERT_TRUE(gauge.listening());

    const int port = txtest::FreeTcpPort();
    txtest::FakeServerHost host;
    auto server = std::make_unique<web::WebServer>(static_cast<uint32_t>(port), &web::ServePage,
                                                   host, /*waitsForSim=*/false);
    server->StartWebServerThread();
    ASSERT_TRUE(gauge.Accept());  // the server thread connects the pipe when it starts

    txtest::TcpClient client;
    ASSERT_TRUE(txtest::WaitUntil([&] { return client.Connect(port); }, 5s));
    client.Send("GET /MCDU_KB_07 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.ReadUntilClosed(10s).rfind("HTTP/1.1 202 OK\n", 0), 0u);
    server->StopWebServerThread(true);
    server.reset();
    // With our end closed the gauge reads to the end: nothing may follow the expected bytes.
    EXPECT_EQ(gauge.Read(3), std::string("\x07\0", 2));
}

}  // namespace
