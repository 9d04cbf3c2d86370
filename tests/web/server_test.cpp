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

// Answers with the method and user agent, "/big" with g_big and "/nothing" as not found; a path
// "/wait<ms>" takes that long.
void RecordingHandler(web::HttpRequest& request, web::ServerHost&) {
    ++g_entered;
    if (request.path.rfind("/wait", 0) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(&request.path[5])));
    request.body = request.path == "/big" ? g_big : request.method + " " + request.userAgent;
    if (request.path == "/nothing") request.status = "404 Not Found";
    if (request.path == "/nothing") request.body.clear();
    platform::MutexLock lock(g_mutex);
    g_paths.push_back(request.path);
}

class WebServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();  // the MCDU pipe is looked for in the private runtime folder
        m_sandbox.CreateSettingsFolder();
        ASSERT_TRUE(logging::LogFile.Open(m_sandbox.LogPath()));
        g_entered = 0;
        Paths(true);
        m_server = std::make_unique<web::WebServer>(m_port, &RecordingHandler, m_host, false);
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
    // The paths the handler saw, in order; `clear` forgets them first.
    static std::vector<std::string> Paths(bool clear = false) {
        platform::MutexLock lock(g_mutex);
        if (clear) g_paths.clear();
        return g_paths;
    }
    std::string Log() const { return txtest::ReadLog(m_sandbox.LogPath()); }
    int LogCount(const std::string& text) const { return txtest::CountLines(Log(), text); }
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

    const std::string notFound = Exchange("GET /nothing HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(notFound.starts_with("HTTP/1.1 404 Not Found\n") &&
                notFound.ends_with("\nContent-Length: 0\n\n\n"))
        << notFound;
}

// How a head is read is request_head_test's; here, that a refused one is logged with its reason
// and closed unanswered, as is a peer that leaves early, and that the next request is served.
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
        {"GET /pause HT", ""},  // the peer goes away half-way through a line
        {"", ""},               // or says nothing at all
    };
    Start();
    for (const auto& [request, reason] : refused) {
        txtest::TcpClient client;
        ASSERT_TRUE(client.Connect(m_port) && client.Send(request));
        if (reason.empty()) continue;  // the peer leaves: closed as the client goes
        bool closed = false;
        EXPECT_EQ(client.ReadUntilClosed(10s, &closed), "") << reason;
        EXPECT_TRUE(closed) << reason;
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
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/MCDU", "/offline", "/offline"}));
}

TEST_F(WebServerTest, SilentAndHalfSpokenClientsHoldUpNoOtherAndAreLetGoTogether) {
    Start();
    const int idleSockets = Socket::LiveCount();
    // Eight connections that never send a byte and one that sends half its head.
    std::vector<std::unique_ptr<txtest::TcpClient>> clients(9);
    const auto connected = Clock::now();
    for (auto& client : clients) {
        client = std::make_unique<txtest::TcpClient>();
        ASSERT_TRUE(client->Connect(m_port));
    }
    ASSERT_TRUE(clients.back()->Send("GET /half HTTP/1.1\r\nUser-Agent: "));
    // A plain request is answered while all nine still wait.
    EXPECT_EQ(PathSeenFor("/beside"), "/beside");
    EXPECT_EQ(LogCount("not complete within 5 s of the accept"), 0);

    const auto deadline = connected + 4 * kRequestHeadTimeout;
    for (auto& client : clients) {
        bool closed = false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        EXPECT_EQ(client->ReadUntilClosed(left, &closed), "");
        EXPECT_TRUE(closed);
        EXPECT_GE(Clock::now() - connected, kRequestHeadTimeout - 100ms);
    }
    EXPECT_EQ(LogCount("not complete within 5 s of the accept"), 9);
    EXPECT_TRUE(txtest::WaitUntil([&] { return Socket::LiveCount() == idleSockets; }, 5s));
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

TEST_F(WebServerTest, PortInUseEndsTheThreadInOrderAndALaterStartWorks) {
    auto holder = web::SocketServer::Listen(m_port, 5, 0).value;
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
    Start();
    m_server->StopWebServerThread(true);
    EXPECT_FALSE(txtest::PortIsListening(m_port));
    // The server's own steps without their time stamps; the address line comes from the starting
    // thread while the server thread starts, and the pipe logs its own outcome.
    EXPECT_EQ(std::regex_replace(Log(), std::regex(".*: (PIPE|Webbrowser IP): .*\n|.*\\]: "), ""),
              "Starting the webserver (main) thread...\nWebserver (main) thread started.\n"
              "CloseWebserverThread...\nWebserver (main) thread finished.\n"
              "CloseWebserverThread complete\n");
    char address[17] = "";
    web::GetLocalIPAddress(address);
    EXPECT_EQ(LogCount("]: Webbrowser IP: " + std::string(address) + "."), 1);
    // The window shows the address with the port, or nothing without an address.
    const std::string label = address[0] ? std::string(address) + ":" + std::to_string(m_port) : "";
    EXPECT_EQ(m_host.Labels(), std::vector<std::string>{label});

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
        {"GET /wait5500 HTTP/1.1\r\n\r\n", true, 1},  // in one outlasting the stop's wait
        {"GET /wait300 HTTP/1.1\r\n\r\n", false, 1},  // in the page handler, closed
    };
    for (const Race& race : races) {
        SCOPED_TRACE(race.sent);
        m_server->SetWaitsForSim(race.handled == 0);
        m_host.online = race.handled != 0;
        const size_t before = Paths().size();
        const int entered = g_entered;
        Start();
        txtest::TcpClient client;
        ASSERT_TRUE(client.Connect(m_port) && client.Send(race.sent));
        ASSERT_TRUE(
            txtest::WaitUntil([&] { return race.handled <= 0 || g_entered > entered; }, 5s));
        std::this_thread::sleep_for(100ms);  // for the server to take what was sent
        if (race.stop) {
            m_server->StopWebServerThread(true);
            EXPECT_EQ(LogCount("thread finished."), LogCount("CloseWebserverThread complete"));
            EXPECT_FALSE(m_server->m_bStopThread.load());
        } else {
            m_server->CloseClient();
        }
        bool closed = false;
        EXPECT_EQ(client.ReadUntilClosed(10s, &closed), "");
        EXPECT_TRUE(closed);
        if (!race.stop) txtest::WaitUntil([&] { return Paths().size() > before; }, 5s);
        EXPECT_TRUE(race.handled < 0 || Paths().size() == before + race.handled);
    }
    EXPECT_EQ(LogCount("still busy after 5000 ms"), 1);
    EXPECT_EQ(PathSeenFor("/still"), "/still");
}

}  // namespace
