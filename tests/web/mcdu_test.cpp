#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "log/Log.h"
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

using web::AppendMapArea;
using web::BuildMcduFramesetPage;
using web::BuildMcduKeyCommandPage;
using web::BuildMcduMainPage;
using web::BuildOfflinePage;
using web::HttpRequest;
using web::McduKey;
using web::McduKeyCodeFromPath;
using web::McduKeyTable;
using web::ServePage;
using web::WebServer;

// The three pages of the remote MCDU as a tablet receives them; the keyboard page's image map
// holds every key's path, rectangle and label.
TEST(McduPages, PagesByteForByte) {
    EXPECT_TRUE(txtest::MatchesGolden("mcdu-frameset.html", BuildMcduFramesetPage()));
    EXPECT_TRUE(txtest::MatchesGolden("mcdu-main.html", BuildMcduMainPage()));
    EXPECT_TRUE(txtest::MatchesGolden("mcdu-key-command.html", BuildMcduKeyCommandPage()));
}

// Every key of the table with the code a press of its path hands to the pipe, one line each:
// path, code, label. The table's own code field must say the same.
TEST(McduPages, KeyTableAsServed) {
    txtest::FakeServerHost host;
    std::string table;
    for (const McduKey& key : McduKeyTable) {
        HttpRequest request;
        request.path = key.path;
        ServePage(request, host);
        ASSERT_TRUE(request.mcduKey.has_value()) << key.path;
        EXPECT_EQ(*request.mcduKey, key.code) << key.path;
        table +=
            std::string(key.path) + " " + std::to_string(*request.mcduKey) + " " + key.label + "\n";
    }
    EXPECT_TRUE(txtest::MatchesGolden("mcdu-keys.txt", table));
}

TEST(McduPages, MapAreaRoundsHalfUpAndAppends) {
    std::string page = "before\n";
    AppendMapArea(page, 22.5f, 124.49f, 0.0f, 0.4999f, "/p", "L");
    AppendMapArea(page, 143.8f, 617.7f, 2047.5f, 99999.0f, "/MCDU_KB_17", "AR U");
    EXPECT_EQ(
        page,
        "before\n"
        R"~(        <AREA shape="rect" coords="23,124,0,0" onclick="parent.btn('/p')"> <!-- L-->)~"
        "\n"
        R"~(        <AREA shape="rect" coords="144,618,2048,99999" onclick="parent.btn('/MCDU_KB_17')"> <!-- AR U-->)~"
        "\n");
}

TEST(McduPages, KeyCodeIsTheLastTwoCharactersReadAsAtoiReadsThem) {
    struct Case {
        const char* path;
        int code;
    };
    for (const Case& c :
         {Case{"/MCDU_KB_07", 7}, Case{"/MCDU_KB_68", 68}, Case{"/xyzMCDU_KB_12", 12},
          Case{"/MCDU_KB_5", 0}, Case{"/MCDU_KB_123", 23}, Case{"/MCDU_KB_99", 99},
          Case{"/MCDU_KB_-1", -1}, Case{"/MCDU_KB_-2", -2}, Case{"/MCDU_KB_ 5", 5},
          Case{"/MCDU_KB_+5", 5}, Case{"/MCDU_KB_7x", 7}, Case{"/MCDU_KB_ab", 0},
          Case{"/MCDU_KB_", 0}, Case{"/MCDU_KB_1\t", 1}}) {
        EXPECT_EQ(McduKeyCodeFromPath(c.path), c.code) << c.path;
    }
    EXPECT_EQ(McduKeyCodeFromPath(""), 0);
    EXPECT_EQ(McduKeyCodeFromPath("7"), 7);
}

using txtest::GaugeEnd;

TEST(McduKeyRoute, KeyCodesArriveAtTheGaugeAndNegativeOnesNever) {
    txtest::Sandbox sandbox;
    sandbox.Apply();
    txtest::TempDir dir;
    const std::string logPath = dir.path() + "/test.log";
    ASSERT_TRUE(logging::LogFile.Open(logPath));
    GaugeEnd gauge(platform::McduPipePath());
    ASSERT_TRUE(gauge.listening());

    txtest::FakeServerHost host(dir.path() + "/");
    auto server = std::make_unique<WebServer>(0, &ServePage, host);
    ASSERT_TRUE(server->ConnectMcduPipe());
    ASSERT_TRUE(gauge.Accept());

    struct Press {
        const char* path;
        const char* bytes;  // what the gauge must receive for it
    };
    const Press presses[] = {
        {"/MCDU_KB_07", "\x07"},  {"/xyzMCDU_KB_12", "\x0c"}, {"/MCDU_KB_5", "\x00"},
        {"/MCDU_KB_-1", nullptr}, {"/MCDU_KB_123", "\x17"},   {"/MCDU_KB_-2", nullptr},
        {"/MCDU_KB_99", "\x63"},  {"/MCDU_KB_68", "\x44"},
    };
    std::string expected;
    for (const Press& press : presses) {
        HttpRequest request;
        request.path = press.path;
        ServePage(request, host);
        EXPECT_EQ(request.status, "202 OK") << press.path;
        EXPECT_EQ(request.body, BuildMcduKeyCommandPage()) << press.path;
        // Every key-press path hands its code on, a negative one too: the pipe refuses it.
        ASSERT_TRUE(request.mcduKey.has_value()) << press.path;
        server->SendKey(*request.mcduKey);
        if (press.bytes != nullptr) expected += std::string(1, press.bytes[0]) + '\0';
    }
    // Closing our end lets the gauge read to the end: nothing may follow the expected bytes.
    server.reset();
    EXPECT_EQ(gauge.Read(expected.size() + 1), expected);

    const std::string log = txtest::ReadLog(logPath);
    logging::LogFile.Close();
    EXPECT_EQ(txtest::CountLines(log, "Code: "), 6);
    // Whole phrases: the log's lines also carry the pipe's path, whose random part may hold "-1".
    EXPECT_EQ(txtest::CountLines(log, "key code -1:"), 1) << log;
    EXPECT_EQ(txtest::CountLines(log, "key code -2:"), 1) << log;
}

// The body of a response: what follows the empty line, without the line feed the server adds.
std::string BodyOf(const std::string& response) {
    const size_t start = response.find("\n\n");
    if (start == std::string::npos || response.empty() || response.back() != '\n') return "<none>";
    return response.substr(start + 2, response.size() - start - 3);
}

TEST(McduKeyRoute, PagesAndKeysThroughTheServer) {
    using namespace std::chrono_literals;
    txtest::Sandbox sandbox;
    sandbox.Apply();
    sandbox.CreateSettingsFolder();
    const std::string logPath = sandbox.settings() + "test.log";
    ASSERT_TRUE(logging::LogFile.Open(logPath));
    GaugeEnd gauge(platform::McduPipePath());
    ASSERT_TRUE(gauge.listening());

    const int port = txtest::FreeTcpPort();
    txtest::FakeServerHost host(sandbox.settings());
    auto server = std::make_unique<WebServer>(static_cast<uint32_t>(port), &ServePage, host,
                                              /*waitsForSim=*/false);
    server->StartWebServerThread();
    ASSERT_TRUE(gauge.Accept());  // the server thread connects the pipe when it starts

    const auto exchange = [port](const std::string& request) {
        txtest::TcpClient client;
        if (!txtest::WaitUntil([&] { return client.Connect(port); }, 5s)) return std::string();
        client.Send(request);
        return client.ReadUntilClosed(10s);
    };
    const std::string main = exchange("GET /MCDU_main?x=1 HTTP/1.1\r\nHost: t\r\n\r\n");
    EXPECT_EQ(BodyOf(main), BuildMcduMainPage());
    EXPECT_NE(main.find("\nContent-Type: text/html; charset=ISO-8859-1\n"), std::string::npos);
    const std::string key = exchange("GET /MCDU_KB_07 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(key.rfind("HTTP/1.1 202 OK\n", 0), 0u);
    EXPECT_EQ(BodyOf(key), BuildMcduKeyCommandPage());
    EXPECT_EQ(gauge.Read(2), std::string("\x07\x00", 2));

    // While the simulator is away every path is answered as "/offline", pictures included.
    host.online = false;
    for (const char* path : {"/", "/busbanner.jpg", "/MCDU_KB_07"}) {
        const std::string offline = exchange(std::string("GET ") + path + " HTTP/1.1\r\n\r\n");
        EXPECT_EQ(BodyOf(offline), BuildOfflinePage()) << path;
        EXPECT_NE(offline.find("\nContent-Type: text/html"), std::string::npos) << path;
    }

    server->StopWebServerThread(true);
    server.reset();
    // Nothing reached the gauge while offline.
    EXPECT_EQ(gauge.Read(1), "");
    logging::LogFile.Close();
}

}  // namespace
