#include "web/WebServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
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

namespace {

using web::ContentTypeLine;
using web::DateLine;
using web::GetLocalIPAddress;
using web::HttpRequest;
using web::kRequestHeadTimeout;
using web::Socket;
using web::SocketServer;
using web::WebServer;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the test page handler saw and how it answers. The handler type is a plain function, so
// the recorder is reached through one process-wide instance.
struct Recorder {
    platform::Mutex mutex;
    std::vector<HttpRequest> requests GUARDED_BY(mutex);
    std::string body GUARDED_BY(mutex) = "<html>answer</html>";
    std::string status GUARDED_BY(mutex);                  // replaces "202 OK" when not empty
    std::chrono::milliseconds delay GUARDED_BY(mutex){0};  // time the handler takes
    std::atomic<int> entered{0};

    void Answer(const std::string& newBody, const std::string& newStatus = "",
                std::chrono::milliseconds newDelay = std::chrono::milliseconds(0)) {
        platform::MutexLock lock(mutex);
        body = newBody;
        status = newStatus;
        delay = newDelay;
    }
    std::vector<HttpRequest> Seen() {
        platform::MutexLock lock(mutex);
        return requests;
    }
    size_t Count() {
        platform::MutexLock lock(mutex);
        return requests.size();
    }
};
Recorder* g_recorder = nullptr;

void RecordingHandler(HttpRequest& request, web::ServerHost&) {
    ++g_recorder->entered;
    std::chrono::milliseconds delay;
    {
        platform::MutexLock lock(g_recorder->mutex);
        delay = g_recorder->delay;
    }
    std::this_thread::sleep_for(delay);
    platform::MutexLock lock(g_recorder->mutex);
    HttpRequest copy = request;
    copy.client = nullptr;
    g_recorder->requests.push_back(copy);
    request.body = g_recorder->body;
    if (!g_recorder->status.empty()) request.status = g_recorder->status;
}

// True for four dot-separated decimal numbers of 0 to 255, each without a leading zero.
bool IsDottedQuad(const std::string& text) {
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
        const size_t start = at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
        const size_t digits = at - start;
        if (digits == 0 || digits > 3 || (digits > 1 && text[start] == '0')) return false;
        if (std::stoi(text.substr(start, digits)) > 255) return false;
    }
    return at == text.size();
}

std::string ExpectedHead(const std::string& status, const std::string& date,
                         const std::string& type, size_t length) {
    return "HTTP/1.1 " + status + "\n" + date + "\nServer: Quennick Tarvel X Connect Extended\n" +
           "Connection: close\nContent-Type: " + type +
           "\nContent-Length: " + std::to_string(length) + "\n\n";
}

// ---- Content type and date: pure functions ------------------------------------------------

TEST(ResponseFormatTest, ContentTypeFollowsThePathJpgFirst) {
    EXPECT_EQ(ContentTypeLine("/busbanner.jpg"), "Content-Type: image/jpeg");
    EXPECT_EQ(ContentTypeLine("/MCDU_Dspl.png"), "Content-Type: image/png");
    EXPECT_EQ(ContentTypeLine("/a.png/b.jpg"), "Content-Type: image/jpeg");
    EXPECT_EQ(ContentTypeLine("/a.jpg.png"), "Content-Type: image/jpeg");
    EXPECT_EQ(ContentTypeLine("/MCDU"), "Content-Type: text/html; charset=ISO-8859-1");
    EXPECT_EQ(ContentTypeLine("/offline"), "Content-Type: text/html; charset=ISO-8859-1");
}

TEST(ResponseFormatTest, DateLineIsAsctimeOfUtcWithoutItsLineFeed) {
    // 2026-12-05 22:06:14, the day as the C library's asctime writes it.
    EXPECT_EQ(DateLine(1796508374),
              "Date: Sat Dec " + txtest::AsctimeDay(5) + " 22:06:14 2026 GMT");
    EXPECT_EQ(DateLine(1798761599), "Date: Thu Dec 31 23:59:59 2026 GMT");
}

TEST(LocalAddressTest, PrefersAReachableInterfaceOverTheLoopback) {
    char address[17] = "unchanged";
    if (!GetLocalIPAddress(address)) {
        EXPECT_STREQ(address, "unchanged");
        GTEST_SKIP() << "no IPv4 address on this machine";
    }
    EXPECT_TRUE(IsDottedQuad(address)) << address;
    EXPECT_FALSE(IsDottedQuad("1.2.3")) << "the check itself";
    EXPECT_FALSE(IsDottedQuad("1.2.3.256"));
    // A machine with an up, non-loopback interface never reports a 127.x address.
    if (txtest::HasUpNonLoopbackIPv4Interface()) {
        EXPECT_NE(std::string(address).rfind("127.", 0), 0u) << address;
    }
}

// ---- The server on a real port ------------------------------------------------------------

class WebServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();  // the MCDU pipe is looked for in the private runtime folder
        m_sandbox.CreateSettingsFolder();
        m_logPath = m_sandbox.settings() + "test.log";
        ASSERT_TRUE(logging::LogFile.Open(m_logPath));
        g_recorder = &m_recorder;
        m_port = txtest::FreeTcpPort();
        m_server = std::make_unique<WebServer>(static_cast<uint32_t>(m_port), &RecordingHandler,
                                               m_host, /*waitsForSim=*/false);
    }
    void TearDown() override {
        m_server->StopWebServerThread(true);
        EXPECT_FALSE(ThreadRegistered());
        m_server.reset();
        g_recorder = nullptr;
        logging::LogFile.Close();
    }

    void Start() {
        m_server->StartWebServerThread();
        ASSERT_TRUE(txtest::WaitUntil([&] { return txtest::PortIsListening(m_port); }, 5s))
            << Log();
    }
    bool ThreadRegistered() { return m_server->IsThreadRegistered(); }
    std::string Log() const { return txtest::ReadLog(m_logPath); }

    // Sends `request` on a new connection and returns everything until the server closes it.
    std::string Exchange(const std::string& request, bool* closed = nullptr) {
        txtest::TcpClient client;
        if (!client.Connect(m_port)) return "<no connection>";
        client.Send(request);
        return client.ReadUntilClosed(10s, closed);
    }
    // The path the handler saw for `request`, or "<none>" when it was not called.
    std::string PathSeenFor(const std::string& request) {
        const size_t before = m_recorder.Count();
        Exchange(request);
        const auto seen = m_recorder.Seen();
        return seen.size() > before ? seen.back().path : "<none>";
    }

    txtest::Sandbox m_sandbox;
    std::string m_logPath;
    Recorder m_recorder;
    int m_port = 0;
    txtest::FakeServerHost m_host;
    std::unique_ptr<WebServer> m_server;
};

// How a head is read, bounds and refusals included, is request_head_test's; here, that the request
// read reaches the handler, and that a refused one is logged and closed unanswered.
TEST_F(WebServerTest, RequestLineGivesMethodAndPath) {
    Start();
    Exchange("POST /MCDU?x=1 HTTP/1.1\r\nHost: t\r\nUser-Agent: Tablet/1.0\r\n\r\n");
    const auto seen = m_recorder.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].path, "/MCDU");
    EXPECT_TRUE(seen[0].params.empty());
    EXPECT_EQ(seen[0].status, "202 OK");
    EXPECT_EQ(seen[0].userAgent, "Tablet/1.0");

    bool closed = false;
    EXPECT_EQ(Exchange("\r\nGET / HTTP/1.1\r\n\r\n", &closed), "");
    EXPECT_TRUE(closed);
    EXPECT_EQ(m_recorder.Count(), 1u);
    EXPECT_EQ(txtest::CountLines(Log(), "without a target"), 1);
}

TEST_F(WebServerTest, ResponseIsByteExact) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0", 17);
    m_recorder.Answer(png);
    Start();
    const std::time_t before = std::time(nullptr);
    const std::string response = Exchange("GET /MCDU_Dspl.png?123 HTTP/1.1\r\n\r\n");
    const std::time_t after = std::time(nullptr);

    const size_t dateAt = response.find("\nDate: ") + 1;
    ASSERT_NE(dateAt, 0u) << response;
    const std::string date = response.substr(dateAt, response.find('\n', dateAt) - dateAt);
    // "Date: Www Mmm dd hh:mm:ss yyyy GMT", the day padded with a blank.
    ASSERT_EQ(date.size(), 34u) << date;
    EXPECT_NE(std::string("MonTueWedThuFriSatSun").find(date.substr(6, 3)), std::string::npos);
    EXPECT_NE(std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(date.substr(10, 3)),
              std::string::npos);
    std::string shape;
    for (const char c : date.substr(14, 16))
        shape += std::isdigit(static_cast<unsigned char>(c)) ? '9' : c;
    EXPECT_TRUE(shape == "99 99:99:99 9999" || shape == " 9 99:99:99 9999") << date;
    EXPECT_EQ(date.substr(date.size() - 4), " GMT");
    EXPECT_TRUE(date == DateLine(before) || date == DateLine(after)) << date;
    EXPECT_EQ(response, ExpectedHead("202 OK", date, "image/png", 17) + png + "\n");

    m_recorder.Answer("", "404 Not Found");
    const std::string notFound = Exchange("GET /nothing HTTP/1.1\r\n\r\n");
    EXPECT_EQ(notFound.substr(0, notFound.find('\n') + 1), "HTTP/1.1 404 Not Found\n");
    const std::string tail = "Content-Length: 0\n\n\n";
    ASSERT_GE(notFound.size(), tail.size());
    EXPECT_EQ(notFound.substr(notFound.size() - tail.size()), tail);
}

TEST_F(WebServerTest, UnreadableRequestsGetNoResponseAndTheNextOneIsServed) {
    Start();
    // A header section ending in a lone line feed.
    bool closed = false;
    EXPECT_EQ(Exchange("GET / HTTP/1.1\r\nAccept: x\r\n\n", &closed), "");
    EXPECT_TRUE(closed);
    EXPECT_EQ(txtest::CountLines(Log(), "Webserver: empty line received: ["), 1);

    // A peer that goes away half-way through a line.
    {
        txtest::TcpClient client;
        ASSERT_TRUE(client.Connect(m_port));
        client.Send("GET /pause HT");
        client.Close();
    }
    // A peer that connects and says nothing at all.
    {
        txtest::TcpClient client;
        ASSERT_TRUE(client.Connect(m_port));
    }
    EXPECT_EQ(m_recorder.Count(), 0u);
    EXPECT_EQ(PathSeenFor("GET /after HTTP/1.1\r\n\r\n"), "/after");
}

TEST_F(WebServerTest, EveryPathIsOfflineWhileTheSimulatorIsAway) {
    m_host.online = false;
    Start();
    EXPECT_EQ(PathSeenFor("GET /MCDU HTTP/1.1\r\n\r\n"), "/offline");
    EXPECT_EQ(PathSeenFor("GET /pause HTTP/1.1\r\nAccept: */*\r\n\r\n"), "/offline");
    const std::string response = Exchange("GET /MCDU_Dspl.png HTTP/1.1\r\n\r\n");
    EXPECT_EQ(m_recorder.Seen().back().path, "/offline");
    EXPECT_NE(response.find("\nContent-Type: text/html; charset=ISO-8859-1\n"), std::string::npos);

    m_host.online = true;
    EXPECT_EQ(PathSeenFor("GET /MCDU HTTP/1.1\r\n\r\n"), "/MCDU");
}

TEST_F(WebServerTest, WaitingServerAcceptsNothingUntilTheSimulatorComes) {
    m_server->SetWaitsForSim(true);
    m_host.online = false;
    Start();
    txtest::TcpClient client;
    ASSERT_TRUE(client.Connect(m_port));  // into the listen queue
    ASSERT_TRUE(client.Send("GET /MCDU HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(client.StaysSilent(500ms));
    EXPECT_EQ(m_recorder.entered.load(), 0);

    const auto online = Clock::now();
    m_host.online = true;
    bool closed = false;
    const std::string response = client.ReadUntilClosed(5s, &closed);
    EXPECT_LT(Clock::now() - online, 1s);
    EXPECT_TRUE(closed);
    EXPECT_EQ(response.rfind("HTTP/1.1 202 OK\n", 0), 0u) << response;
    ASSERT_EQ(m_recorder.Count(), 1u);
    EXPECT_EQ(m_recorder.Seen()[0].path, "/MCDU");
}

TEST_F(WebServerTest, ConnectionsAreServedOneAtATimeInOrder) {
    m_recorder.Answer("<html>answer</html>", "", 300ms);
    Start();
    txtest::TcpClient first;
    txtest::TcpClient second;
    ASSERT_TRUE(first.Connect(m_port));
    ASSERT_TRUE(first.Send("GET /first HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(txtest::WaitUntil([&] { return m_recorder.entered.load() == 1; }, 5s));
    // The second client waits in the queue while the first is in the handler.
    ASSERT_TRUE(second.Connect(m_port));
    ASSERT_TRUE(second.Send("GET /second HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(second.StaysSilent(100ms));
    EXPECT_EQ(m_recorder.entered.load(), 1);

    const std::string firstResponse = first.ReadUntilClosed(5s);
    EXPECT_EQ(m_recorder.Count(), 1u);
    const std::string secondResponse = second.ReadUntilClosed(5s);
    const auto seen = m_recorder.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].path, "/first");
    EXPECT_EQ(seen[1].path, "/second");
    EXPECT_EQ(firstResponse.rfind("HTTP/1.1 202 OK\n", 0), 0u);
    EXPECT_EQ(secondResponse.rfind("HTTP/1.1 202 OK\n", 0), 0u);
}

TEST_F(WebServerTest, SilentAndTricklingClientsHoldUpNoOtherAndAreLetGoTogether) {
    Start();
    const int idleSockets = Socket::LiveCount();
    // The time a plain request takes alone, to compare the same request beside the others with.
    auto timedRequest = [&] {
        const auto asked = Clock::now();
        const std::string response = Exchange("GET / HTTP/1.1\r\n\r\n");
        EXPECT_EQ(response.rfind("HTTP/1.1 202 OK\n", 0), 0u) << response;
        return Clock::now() - asked;
    };
    Clock::duration alone{};
    for (int i = 0; i < 3; ++i) alone = std::max(alone, timedRequest());

    // Eight connections that never send a byte and one that sends a byte every 0.4 s, a head
    // far too long to end within the bound.
    constexpr int kSilent = 8;
    std::vector<std::unique_ptr<txtest::TcpClient>> clients;
    const auto connected = Clock::now();
    for (int i = 0; i < kSilent + 1; ++i) {
        clients.push_back(std::make_unique<txtest::TcpClient>());
        ASSERT_TRUE(clients.back()->Connect(m_port));
    }
    std::atomic<bool> trickling{true};
    std::thread trickler([&] {
        const std::string head = "GET /trickle HTTP/1.1\r\nUser-Agent: a slow one\r\n\r\n";
        for (const char byte : head) {
            for (int slice = 0; slice < 8 && trickling.load(); ++slice)
                std::this_thread::sleep_for(50ms);
            if (!trickling.load() || !clients.back()->Send(std::string(1, byte))) return;
        }
    });

    // Served beside them, while every one of them is still waiting, no slower than alone by
    // anything like the bound one of them could make it wait.
    Clock::duration beside{};
    for (int i = 0; i < 3; ++i) beside = std::max(beside, timedRequest());
    EXPECT_EQ(txtest::CountLines(Log(), "not complete within 5 s of the accept"), 0);
    EXPECT_LT(beside, alone + kRequestHeadTimeout / 2);
    std::printf("a plain request took %.2f ms alone, %.2f ms beside %d waiting connections\n",
                std::chrono::duration<double, std::milli>(alone).count(),
                std::chrono::duration<double, std::milli>(beside).count(), kSilent + 1);

    // Let go together at their deadline: never before it, and the last before a second bound's
    // time, where connections waited for one after another would still be held.
    Clock::time_point firstGone{};
    for (auto& client : clients) {
        bool closed = false;
        EXPECT_EQ(client->ReadUntilClosed(4 * kRequestHeadTimeout, &closed), "");
        EXPECT_TRUE(closed);
        if (firstGone == Clock::time_point{}) firstGone = Clock::now();
    }
    const auto lastGone = Clock::now();
    trickling.store(false);
    trickler.join();
    EXPECT_GE(firstGone - connected, kRequestHeadTimeout - 100ms);
    EXPECT_LT(lastGone - connected, 2 * kRequestHeadTimeout);
    EXPECT_EQ(txtest::CountLines(Log(), "not complete within 5 s of the accept"), kSilent + 1);
    EXPECT_EQ(m_recorder.Count(), 6u);
    // Nothing held on to.
    EXPECT_TRUE(txtest::WaitUntil([&] { return Socket::LiveCount() == idleSockets; }, 5s))
        << Socket::LiveCount() << " sockets, " << idleSockets << " when idle";
}

TEST_F(WebServerTest, OversizedRequestsAreRefusedWithAReason) {
    Start();
    bool closed = false;
    EXPECT_EQ(Exchange("GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", &closed), "");
    EXPECT_TRUE(closed);
    EXPECT_EQ(txtest::CountLines(Log(), "request line longer than 8192 bytes"), 1);

    EXPECT_EQ(Exchange("GET / HTTP/1.1\r\nUser-Agent: " + std::string(8200, 'b') + "\r\n\r\n"), "");
    EXPECT_EQ(txtest::CountLines(Log(), "header line longer than 8192 bytes"), 1);

    std::string many = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 101; ++i) many += "X-Header-" + std::to_string(i) + ": v\r\n";
    EXPECT_EQ(Exchange(many + "\r\n"), "");
    EXPECT_EQ(txtest::CountLines(Log(), "more than 100 header lines"), 1);
    EXPECT_EQ(m_recorder.Count(), 0u);
}

TEST_F(WebServerTest, ClientLeavingBeforeItsAnswerLeavesTheServerRunning) {
    m_recorder.Answer(std::string(4 << 20, 'x'), "", 100ms);  // far more than socket buffers take
    Start();
    for (int i = 0; i < 3; ++i) {
        txtest::TcpClient client;
        ASSERT_TRUE(client.Connect(m_port));
        ASSERT_TRUE(client.Send("GET /big HTTP/1.1\r\n\r\n"));
        client.Close();
    }
    m_recorder.Answer("small");
    ASSERT_TRUE(txtest::WaitUntil([&] { return m_recorder.Count() == 3; }, 10s));
    const std::string response = Exchange("GET /after HTTP/1.1\r\n\r\n");
    EXPECT_EQ(response.substr(response.size() - 6), "small\n");
    EXPECT_TRUE(ThreadRegistered());
}

TEST_F(WebServerTest, PortInUseEndsTheThreadInOrderAndALaterStartWorks) {
    auto holder = SocketServer::Listen(static_cast<uint32_t>(m_port), 5, 0).value;
    ASSERT_NE(holder, nullptr);
    m_server->StartWebServerThread();
    ASSERT_TRUE(txtest::WaitUntil([&] { return !ThreadRegistered(); }, 5s));
    ASSERT_TRUE(txtest::WaitUntil(
        [&] { return txtest::CountLines(Log(), "Webserver (main) thread finished.") == 1; }, 5s));
    const std::string log = Log();
    EXPECT_EQ(txtest::CountLines(log, "Webserver: socket error on port " + std::to_string(m_port) +
                                          ": INVALID_SOCKET (" + txtest::AddressInUseText() + ")."),
              1)
        << log;
    EXPECT_EQ(txtest::CountLines(log, "CloseWebserverThread..."), 1);
    EXPECT_EQ(txtest::CountLines(log, "CloseWebserverThread complete"), 1);
    EXPECT_FALSE(m_server->m_bStopThread.load());

    holder.reset();
    Start();
    EXPECT_EQ(PathSeenFor("GET /again HTTP/1.1\r\n\r\n"), "/again");
}

TEST_F(WebServerTest, StartAndStopLogTheirStepsAndStoppingAnIdleServerIsQuick) {
    Start();
    const auto start = Clock::now();
    m_server->StopWebServerThread(true);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_FALSE(ThreadRegistered());
    EXPECT_FALSE(txtest::PortIsListening(m_port));
    EXPECT_FALSE(m_server->m_bStopThread.load());

    // The server's own log lines, timestamp prefixes taken off (the pipe logs its own outcome).
    const std::string log = Log();
    std::vector<std::string> steps;
    std::string addressLine;
    for (size_t at = 0; at < log.size();) {
        const size_t end = log.find('\n', at);
        const size_t text = log.find("]: ", at) + 3;
        const std::string line = log.substr(text, end - text);
        at = end + 1;
        if (line.rfind("Webbrowser IP: ", 0) == 0) {
            addressLine = line;
        } else if (line.rfind("PIPE: ", 0) != 0) {
            steps.push_back(line);
        }
    }
    char address[17] = "";
    GetLocalIPAddress(address);
    EXPECT_EQ(addressLine, "Webbrowser IP: " + std::string(address) + ".");
    // The window is asked to show the address with the port, or nothing without an address.
    const std::string label =
        address[0] != '\0' ? std::string(address) + ":" + std::to_string(m_port) : "";
    EXPECT_EQ(m_host.Labels(), std::vector<std::string>{label});
    const std::vector<std::string> expected = {
        "Starting the webserver (main) thread...",
        "Webserver (main) thread started.",
        "CloseWebserverThread...",
        "Webserver (main) thread finished.",
        "CloseWebserverThread complete",
    };
    EXPECT_EQ(steps, expected);

    // Waiting for the simulator, or for a slow client's line: the stop is just as quick.
    m_server->SetWaitsForSim(true);
    m_host.online = false;
    Start();
    auto stopAt = Clock::now();
    m_server->StopWebServerThread(true);
    EXPECT_LT(Clock::now() - stopAt, 1s);

    m_host.online = true;
    Start();
    txtest::TcpClient slow;
    ASSERT_TRUE(slow.Connect(m_port));
    ASSERT_TRUE(slow.Send("GET /slow HTTP/1.1\r\nAcc"));
    std::this_thread::sleep_for(100ms);
    stopAt = Clock::now();
    m_server->StopWebServerThread(true);
    EXPECT_LT(Clock::now() - stopAt, 1s);
    bool closed = false;
    EXPECT_EQ(slow.ReadUntilClosed(2s, &closed), "");
    EXPECT_TRUE(closed);
}

TEST_F(WebServerTest, StopDuringThePageHandlerSendsNothing) {
    m_recorder.Answer("<html>answer</html>", "", 300ms);
    Start();
    txtest::TcpClient client;
    ASSERT_TRUE(client.Connect(m_port));
    ASSERT_TRUE(client.Send("GET /pause HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(txtest::WaitUntil([&] { return m_recorder.entered.load() == 1; }, 5s));
    m_server->StopWebServerThread(true);
    bool closed = false;
    EXPECT_EQ(client.ReadUntilClosed(2s, &closed), "");
    EXPECT_TRUE(closed);
    EXPECT_EQ(m_recorder.Count(), 1u);  // the handler still ran to its end
}

TEST_F(WebServerTest, StopOutlastingItsWaitStillReturnsOnlyAfterTheThreadEnded) {
    m_recorder.Answer("late", "", 5500ms);  // a handler outlasting the stop's 5000 ms
    Start();
    txtest::TcpClient client;
    ASSERT_TRUE(client.Connect(m_port));
    ASSERT_TRUE(client.Send("GET /MCDU_KB_07 HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(txtest::WaitUntil([&] { return m_recorder.entered.load() == 1; }, 5s));
    m_server->StopWebServerThread(true);
    // The server object may be deleted now: its thread is done with it.
    EXPECT_EQ(m_recorder.Count(), 1u);
    const std::string log = Log();
    EXPECT_EQ(txtest::CountLines(log, "still busy after 5000 ms"), 1);
    EXPECT_LT(log.find("Webserver (main) thread finished."),
              log.find("CloseWebserverThread complete"));
    bool closed = false;
    EXPECT_EQ(client.ReadUntilClosed(2s, &closed), "");
    EXPECT_TRUE(closed);
}

TEST_F(WebServerTest, ClosingTheClientFromAnotherThreadIsSafe) {
    m_recorder.Answer("<html>answer</html>", "", 200ms);
    Start();
    for (int i = 0; i < 5; ++i) {
        txtest::TcpClient client;
        ASSERT_TRUE(client.Connect(m_port));
        ASSERT_TRUE(client.Send("GET /x HTTP/1.1\r\n\r\n"));
        ASSERT_TRUE(txtest::WaitUntil([&] { return m_recorder.entered.load() == i + 1; }, 5s));
        m_server->CloseClient();  // as shutdown does, while the thread is in the page handler
        bool closed = false;
        EXPECT_EQ(client.ReadUntilClosed(2s, &closed), "");
        EXPECT_TRUE(closed);
    }
    m_recorder.Answer("<html>answer</html>");
    ASSERT_TRUE(txtest::WaitUntil([&] { return m_recorder.Count() == 5; }, 5s));
    EXPECT_EQ(PathSeenFor("GET /still HTTP/1.1\r\n\r\n"), "/still");
}

TEST_F(WebServerTest, ShutdownRacingTheThreadsOwnEndReleasesTheHandleOnce) {
    // Every run ends at once.
    const auto holder = SocketServer::Listen(static_cast<uint32_t>(m_port), 5, 0).value;
    ASSERT_NE(holder, nullptr);
    for (int i = 0; i < 20; ++i) {
        m_server->StartWebServerThread();
        m_server->StopWebServerThread(true);
        ASSERT_TRUE(txtest::WaitUntil([&] { return !ThreadRegistered(); }, 5s));
    }
    ASSERT_TRUE(txtest::WaitUntil(
        [&] { return txtest::CountLines(Log(), "Webserver (main) thread finished.") == 20; }, 5s));
    const std::string log = Log();
    EXPECT_EQ(txtest::CountLines(log, "CloseWebserverThread..."), 20);
    EXPECT_EQ(txtest::CountLines(log, "CloseWebserverThread complete"), 20);
    EXPECT_FALSE(m_server->m_bStopThread.load());
}

}  // namespace
