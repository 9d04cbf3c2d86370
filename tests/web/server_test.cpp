#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "platform/Mutex.h"
#include "tests/support/FakeServerHost.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TcpClient.h"
#include "tests/support/TestSupport.h"
#include "web/HttpServer.h"
#include "web/LocalAddress.h"
#include "web/Socket.h"
#include "web/SocketServer.h"
#include "web/WaitingConnections.h"
#include "web/WebServer.h"

namespace {

using web::kRequestHeadTimeout;
using web::Socket;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The paths the test page handler saw, written by the server thread.
platform::Mutex g_mutex;
std::vector<std::string> g_paths GUARDED_BY(g_mutex);
std::atomic<int> g_entered{0};  // calls begun
// The answer to "/big"; written by the test before the server starts.
std::string g_big;

// Answers with the method and user agent, "/big" with g_big; a path "/wait<ms>" takes that long.
void RecordingHandler(web::HttpRequest& request, web::ServerHost&) {
    ++g_entered;
    if (request.path.rfind("/wait", 0) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(&request.path[5])));
    request.body = request.path == "/big" ? g_big : request.method + " " + request.userAgent;
    platform::MutexLock lock(g_mutex);
    g_paths.push_back(request.path);
}

class WebServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();  // the MCDU pipe is looked for in the private runtime folder
        m_sandbox.CreateSettingsFolder();
        ASSERT_TRUE(logging::LogFile.Open(m_sandbox.LogPath()));
        m_server = std::make_unique<web::WebServer>(m_port, &RecordingHandler, m_host, false);
        g_entered = 0;
        platform::MutexLock lock(g_mutex);
        g_paths.clear();
    }
    void TearDown() override {
        m_server->StopWebServerThread(true);
        m_server.reset();
        logging::LogFile.Close();
    }

    void Start() {
        m_server->StartWebServerThread();
        ASSERT_TRUE(txtest::WaitUntil([&] { return txtest::PortIsListening(m_port); }, 5s));
    }
    static std::vector<std::string> Paths() {
        platform::MutexLock lock(g_mutex);
        return g_paths;
    }
    std::string Log() const { return txtest::ReadLog(m_sandbox.LogPath()); }
    int LogCount(const std::string& text) const { return txtest::CountLines(Log(), text); }
    // Whether the server closes `client`'s connection within `timeout` without a byte of answer.
    static bool LetGoUnanswered(txtest::TcpClient& client,
                                std::chrono::milliseconds timeout = 10s) {
        bool closed = false;
        return client.ReadUntilClosed(timeout, &closed).empty() && closed;
    }
    // Sends `request` on a new connection and returns everything until the server closes it.
    std::string Exchange(const std::string& request) {
        txtest::TcpClient client;
        return client.Connect(m_port) && client.Send(request) ? client.ReadUntilClosed(10s) : "";
    }
    // The path the handler saw last, after a GET of `path`.
    std::string PathSeenFor(const std::string& path) {
        Exchange("GET " + path + " HTTP/1.1\r\n\r\n");
        return Paths().empty() ? "<none>" : Paths().back();
    }

    txtest::Sandbox m_sandbox;
    const int m_port = txtest::FreeTcpPort();
    txtest::FakeServerHost m_host;
    std::unique_ptr<web::WebServer> m_server;
};

TEST_F(WebServerTest, ResponseIsByteExact) {
    Start();
    const std::time_t before = std::time(nullptr);
    const std::string response =
        Exchange("POST /MCDU_Dspl.png?123 HTTP/1.1\r\nUser-Agent: Tablet/1.0\r\n\r\n");
    bool dated = false;  // by the C library's asctime of UTC, at some moment of the exchange
    for (std::time_t when = before; when <= std::time(nullptr); ++when) {
        const std::string date = std::asctime(std::gmtime(&when));
        dated |= response == "HTTP/1.1 202 OK\nDate: " + date.substr(0, date.size() - 1) +
                                 " GMT\nServer: Quennick Tarvel X Connect Extended\nConnection: "
                                 "close\nContent-Type: image/png\nContent-Length: 15\n\n"
                                 "POST Tablet/1.0\n";
    }
    EXPECT_TRUE(dated) << response;
}

// How a head is read is request_head_test's; here, that a refused one is logged with its reason
// and closed unanswered, and that the next request is served.
TEST_F(WebServerTest, UnreadableRequestsGetNoResponseAndTheNextOneIsServed) {
    std::string manyHeaders = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 101; ++i) manyHeaders += "X-Header-" + std::to_string(i) + ": v\r\n";
    const std::pair<std::string, std::string> refused[] = {
        {"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", "request line longer than 8192"},
        {"GET / HTTP/1.1\r\nUser-Agent: " + std::string(8200, 'b') + "\r\n\r\n",
         "header line longer than 8192"},
        {manyHeaders + "\r\n", "more than 100 header lines"},
        {"\r\nGET / HTTP/1.1\r\n\r\n", "without a target"},
        {"GET / HTTP/1.1\r\nAccept: x\r\n\n", "empty line received: ["},
    };
    Start();
    for (const auto& [request, reason] : refused) {
        txtest::TcpClient client;
        ASSERT_TRUE(client.Connect(m_port) && client.Send(request));
        EXPECT_TRUE(LetGoUnanswered(client)) << reason;
        EXPECT_EQ(LogCount(reason), 1) << reason;
    }
    EXPECT_EQ(PathSeenFor("/after"), "/after");
    EXPECT_EQ(Paths().size(), 1u);
}

TEST_F(WebServerTest, WaitingServerAcceptsNothingUntilTheSimulatorComesAndAwayAllIsOffline) {
    m_server->SetWaitsForSim(true);
    m_host.online = false;
    Start();
    txtest::TcpClient client;
    ASSERT_TRUE(client.Connect(m_port) && client.Send("GET /MCDU HTTP/1.1\r\n\r\n"));
    bool closed = false;
    EXPECT_EQ(client.ReadUntilClosed(500ms, &closed), "");
    EXPECT_FALSE(closed);
    m_host.online = true;
    EXPECT_EQ(client.ReadUntilClosed(10s).rfind("HTTP/1.1 202 OK\n", 0), 0u);

    // A server that does not wait answers every path with the offline page meanwhile.
    m_server->SetWaitsForSim(false);
    m_host.online = false;
    EXPECT_EQ(PathSeenFor("/pause"), "/offline");
    const std::string picture = Exchange("GET /MCDU_Dspl.png HTTP/1.1\r\n\r\n");
    EXPECT_NE(picture.find("\nContent-Type: text/html; charset=ISO-8859-1\n"), std::string::npos);

    // The simulator comes back while a head is still coming: the request began while it was away,
    // so it is answered as such, whatever the moment its last line arrives.
    ASSERT_TRUE(client.Connect(m_port) && client.Send("GET /status HTTP/1.1\r\n"));
    std::this_thread::sleep_for(200ms);  // for the server to take the request line
    m_host.online = true;
    ASSERT_TRUE(client.Send("Host: tablet\r\n\r\n"));
    client.ReadUntilClosed(10s);
    EXPECT_EQ(PathSeenFor("/status"), "/status") << "one that begins online is served";
    EXPECT_EQ(Paths(),
              (std::vector<std::string>{"/MCDU", "/offline", "/offline", "/offline", "/status"}));
}

TEST_F(WebServerTest, SilentAndHalfSpokenClientsHoldUpNoOtherAndAreLetGoTogether) {
    Start();
    // Eight connections that never send a byte and one that sends half its head.
    txtest::TcpClient clients[9];
    const auto connected = Clock::now();
    for (auto& client : clients) ASSERT_TRUE(client.Connect(m_port));
    ASSERT_TRUE(clients[8].Send("GET /half HTTP/1.1\r\nUser-Agent: "));
    // A plain request is answered while all nine still wait.
    EXPECT_EQ(PathSeenFor("/beside"), "/beside");
    EXPECT_EQ(LogCount("not complete within 5 s of the accept"), 0);

    for (auto& client : clients) {
        EXPECT_TRUE(LetGoUnanswered(client, 4 * kRequestHeadTimeout));
        EXPECT_GE(Clock::now() - connected, kRequestHeadTimeout - 100ms);
    }
    EXPECT_EQ(LogCount("not complete within 5 s of the accept"), 9);
}

// Answers far larger than the socket buffers: to a client that leaves at once, to one that never
// reads (given up after the send time-out) and to one that reads it all.
TEST_F(WebServerTest, BigAnswersGoOutWholeAndAClientThatStopsReadingHoldsUpNoOther) {
    g_big.assign(16 << 20, '\0');
    for (size_t i = 0; i < g_big.size(); ++i) g_big[i] = static_cast<char>(i * 7 + i / 4096);
    Start();
    txtest::TcpClient clients[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(clients[i].Connect(m_port) && clients[i].Send("GET /big HTTP/1.1\r\n\r\n"));
        if (i == 0) clients[i].Close();
        ASSERT_TRUE(i == 2 || txtest::WaitUntil([&] { return g_entered > i; }, 5s));
    }
    bool closed = false;
    const std::string response = clients[2].ReadUntilClosed(20s, &closed);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(response.ends_with("\n\n" + g_big + "\n")) << response.size();
    EXPECT_LT(clients[1].ReadUntilClosed(10s, &closed).size(), g_big.size());
    EXPECT_TRUE(closed);
    EXPECT_EQ(Paths().size(), 3u);
}

// A silent connection is let go 5 s after its accept, by the clock the server reads.
TEST(WaitingConnectionsTest, ASilentConnectionIsLetGoFiveSecondsAfterItsAccept) {
    web::WaitingConnections waiting(2);
    const auto accepted = web::WaitingConnections::Clock::now();
    waiting.Add(std::make_unique<Socket>(platform::kInvalidSocket), accepted);
    EXPECT_EQ(waiting.DropLate(accepted + 4999ms), 0u);
    EXPECT_EQ(waiting.DropLate(accepted + 5s), 1u);
    EXPECT_EQ(waiting.DropLate(accepted + 6s), 0u) << "let go once";
}

TEST_F(WebServerTest, PortInUseEndsTheThreadInOrderAndALaterStartWorks) {
    auto holder = web::SocketServer::Listen(m_port, 5).value;
    ASSERT_NE(holder, nullptr);
    const int sockets = Socket::LiveCount();
    // A thread that ends by itself, then nineteen that end racing the stop.
    for (int i = 0; i < 20; ++i) {
        m_server->StartWebServerThread();
        if (i > 0) m_server->StopWebServerThread(true);
        ASSERT_TRUE(txtest::WaitUntil([&] { return !m_server->IsThreadRegistered(); }, 5s));
    }
    ASSERT_TRUE(txtest::WaitUntil([&] { return LogCount("(main) thread finished.") == 20; }, 5s));
    for (const std::string& line :
         {"Webserver: socket error on port " + std::to_string(m_port) + ": INVALID_SOCKET (" +
              txtest::AddressInUseText() + ").",
          std::string("CloseWebserverThread..."), std::string("CloseWebserverThread complete")})
        EXPECT_EQ(LogCount(line), 20) << line;
    EXPECT_FALSE(m_server->m_bStopThread.load());
    EXPECT_EQ(Socket::LiveCount(), sockets);  // each refused listener let go
    holder.reset();
    Start();
    EXPECT_EQ(PathSeenFor("/again"), "/again");
}

TEST_F(WebServerTest, StartAndStopLogTheirStepsAndEndEveryWaitSendingNothing) {
    // Tablets reach the server at the address the window shows, never the loopback's (none at all
    // on a machine without another adapter).
    const std::string address = web::GetLocalIPAddress().value;
    EXPECT_NE(address.rfind("127.", 0), 0u) << address;
    Start();
    const std::atomic<bool> cancel{false};
    const auto connected = platform::ConnectTcp(address, std::to_string(m_port), false, 5s, cancel);
    EXPECT_TRUE(connected.IsOk() || !address[0]) << address << ": " << connected.status.Text();
    if (connected.IsOk()) platform::CloseSocket(connected.value.socket);
    m_server->StopWebServerThread(true);
    EXPECT_FALSE(txtest::PortIsListening(m_port));
    // The server's own steps without their time stamps; the address line comes from the starting
    // thread while the server thread starts, and the pipe logs its own outcome.
    EXPECT_EQ(std::regex_replace(
                  Log(), std::regex(".*: (PIPE|Webbrowser IP|Network adapters): .*\n|.*\\]: "), ""),
              "Starting the webserver (main) thread...\nWebserver (main) thread started.\n"
              "CloseWebserverThread...\nWebserver (main) thread finished.\n"
              "CloseWebserverThread complete\n");
    EXPECT_EQ(LogCount("]: Webbrowser IP: " + std::string(address) + "."), 1);
    // The window shows the address with the port, or nothing without an address.
    const std::string label = address[0] ? std::string(address) + ":" + std::to_string(m_port) : "";
    EXPECT_EQ(m_host.Calls(), std::vector<std::string>{"label " + label});

    // A stop, or shutdown closing the connection from its own thread, wherever the server thread
    // is: the client is let go unanswered, the handler runs to its end, a stop returns only once
    // the thread has ended, and after a close the server serves on.
    struct Race {
        const char* sent;
        bool stop;    // StopWebServerThread, else CloseClient
        int handled;  // requests handled once the client is let go; -1: either
    };
    const Race races[] = {
        {"GET /MCDU HTTP/1.1\r\n\r\n", true, 0},      // the server waiting for the simulator
        {"GET /slow HTTP/1.1\r\nAcc", true, -1},      // a head still coming
        {"GET /wait300 HTTP/1.1\r\n\r\n", true, 1},   // in the page handler
        {"GET /wait1500 HTTP/1.1\r\n\r\n", true, 1},  // in one outlasting the stop's grace
        {"GET /wait300 HTTP/1.1\r\n\r\n", false, 1},  // in the page handler, closed
    };
    for (const auto& [sent, stop, handled] : races) {
        SCOPED_TRACE(sent);
        m_server->SetWaitsForSim(handled == 0);
        m_host.online = handled != 0;
        const size_t before = Paths().size();
        const int entered = g_entered;
        Start();
        txtest::TcpClient client;
        ASSERT_TRUE(client.Connect(m_port) && client.Send(sent));
        ASSERT_TRUE(txtest::WaitUntil(
            [&, handled = handled] { return handled <= 0 || g_entered > entered; }, 5s));
        std::this_thread::sleep_for(100ms);  // for the server to take what was sent
        if (stop) m_server->StopWebServerThread(true);
        if (!stop) m_server->CloseClient();
        EXPECT_EQ(LogCount("thread finished."), LogCount("CloseWebserverThread complete"));
        EXPECT_TRUE(LetGoUnanswered(client));
        if (!stop) txtest::WaitUntil([&] { return Paths().size() > before; }, 5s);
        EXPECT_TRUE(handled < 0 || Paths().size() == before + handled);
    }
    EXPECT_EQ(LogCount("still busy after 500 ms"), 1);
    EXPECT_EQ(PathSeenFor("/still"), "/still");
}

}  // namespace
