// The program as a process through a hard life: many requests and hostile ones, a crowd of
// connections that never speak, a simulator and a gauge that die and come back, a log that cannot
// be written. Through all of it the program keeps serving, hands
// out nothing from outside its folders and leaves nothing behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/SimStandin.h"
#include "tests/support/TcpClient.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

const std::string kProgram = txtest::BinaryPath("TarvelXConnectExtended");
// Kept one folder above the settings folder: no request may ever bring it back.
const std::string kSecret = "never-serve-this-5c1e";

std::string ServerIni(int port) {
    return "[Common]\nLogging=1\nDataRequestPeriod=1\n[Server]\nEnabled=1\nPort=" +
           std::to_string(port) + "\nWebserverWaits4Sim=0\n";
}

// `request` on a fresh connection; everything until the server closes it.
std::string Exchange(int port, const std::string& request) {
    txtest::TcpClient client;
    if (!client.Connect(port)) return "";
    client.Send(request);
    return client.ReadUntilClosed(10s);
}

std::string Get(int port, const std::string& path) {
    return Exchange(port, "GET " + path + " HTTP/1.1\r\n\r\n");
}

// One whole response: status line, head, empty line, exactly Content-Length bytes and a line feed.
bool WellFormed(const std::string& response) {
    const size_t headEnd = response.find("\n\n"), length = response.find("\nContent-Length: ");
    if (response.rfind("HTTP/1.1 ", 0) != 0 || headEnd == std::string::npos || length > headEnd)
        return false;
    return response.size() == headEnd + 3 + std::stoul(response.substr(length + 17)) &&
           response.back() == '\n';
}

// The process's descriptors and threads, the least of a few looks over 200 ms: a connection just
// answered may hold a descriptor a moment.
using Level = std::pair<int, int>;
Level Settled(pid_t pid) {
    const auto entries = [&](const char* folder) {
        const std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + folder);
        return static_cast<int>(std::distance(begin(it), end(it)));
    };
    Level least{INT_MAX, INT_MAX};
    for (int i = 0; i < 10; ++i, std::this_thread::sleep_for(20ms))
        least = {std::min(least.first, entries("/fd")), std::min(least.second, entries("/task"))};
    return least;
}

// Pages, images, key presses and refusals (the first kOrdinary, each answered), then heads no
// browser sends: binary bytes, missing pieces, odd methods, absolute URLs, names outside the
// folders, keys out of range.
constexpr size_t kOrdinary = 5;
std::vector<std::string> Requests(const std::string& secretPath) {
    const std::string end = " HTTP/1.1\r\n\r\n";
    return {"GET /" + end,
            "GET /MCDU_main" + end,
            "GET /MCDU_Dspl.png?t=1" + end,
            "GET /MCDU_KB_07" + end,
            "GET /missing.png" + end,
            std::string("GET /MCDU_Dspl.png\x00.jpg", 23) + end,
            "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n",
            "GET\r\n\r\n",
            "BREW /" + end,
            "GET /../" + kSecret + ".png" + end,
            "GET /" + secretPath + end,
            "GET /..\\" + kSecret + ".png" + end,
            "GET /TarvelXConnectExtended.ini?.png" + end,
            "GET /MCDU_KB_9999999999999999999" + end};
}

class SoakTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (m_program.Running()) {
            m_program.Signal(SIGTERM);
            EXPECT_EQ(m_program.Wait(20s), 0) << m_program.Stderr();
        }
    }
    // Starts the program (through `wrapper`, a command line, when given) and waits for its port.
    void StartProgram(const std::vector<std::string>& wrapper = {kProgram}) {
        ASSERT_TRUE(
            m_program.Start(wrapper[0], {wrapper.begin() + 1, wrapper.end()}, m_sandbox.Env()));
        ASSERT_TRUE(txtest::WaitUntil([&] { return !m_program.Running() || Serving(); }, 30s));
        ASSERT_TRUE(m_program.Running()) << m_program.Stderr();
    }
    int Logged(const std::string& needle) {
        return txtest::CountLines(txtest::ReadFile(m_sandbox.LogPath()), needle);
    }
    bool WaitForLogged(const std::string& needle, int count) {
        return txtest::WaitUntil([&] { return Logged(needle) >= count; }, 20s);
    }
    bool Serving() { return WellFormed(Get(m_port, "/")); }
    // Online as the pages see it: the log's line comes a moment before the link says so, and a
    // key pressed in between gets the offline page and goes nowhere.
    bool WaitOnline(int times) {
        return WaitForLogged("FSX online.", times) &&
               txtest::WaitUntil(
                   [&] { return Get(m_port, "/").find("FSX is offline") == std::string::npos; },
                   20s);
    }

    txtest::Sandbox m_sandbox;
    int m_port = txtest::FreeTcpPort();
    txtest::ChildProcess m_program;
};

std::unique_ptr<txtest::ChildProcess> StartGauge(const txtest::Sandbox& sandbox) {
    auto gauge = std::make_unique<txtest::ChildProcess>();
    EXPECT_TRUE(
        gauge->Start(txtest::BinaryPath("gauge-standin"), {}, sandbox.Env()) &&
        txtest::WaitUntil(
            [&] { return gauge->Stdout().find("GAUGE: listening on ") != std::string::npos; },
            10s));
    return gauge;
}

TEST_F(SoakTest, LoadHostileHeadsSilentCrowdsAndDyingPeersLeaveItServingAndNothingBehind) {
    m_sandbox.WriteIni(ServerIni(m_port));
    txtest::WriteFile(m_sandbox.settings() + "../" + kSecret + ".png", kSecret);
    const int simPort = txtest::FreeTcpPort();
    auto sim = std::make_unique<txtest::SimStandin>(m_sandbox, simPort);
    ASSERT_TRUE(sim->Start());
    auto gauge = StartGauge(m_sandbox);
    StartProgram();
    ASSERT_TRUE(WaitOnline(1));
    const pid_t pid = m_program.pid();

    // Load, then every hostile head once: answers are whole or the connection is closed, nothing
    // comes from outside the folders, and descriptors and threads stay level.
    const std::vector<std::string> requests = Requests(
        std::filesystem::canonical(m_sandbox.settings() + "..").string() + "/" + kSecret + ".png");
    const int total = 1000;
    Level level;
    for (int i = 0; i < total + static_cast<int>(requests.size() - kOrdinary); ++i) {
        const bool ordinary = i < total;
        const std::string& request =
            requests[ordinary ? static_cast<size_t>(i) % kOrdinary : kOrdinary + (i - total)];
        const std::string response = Exchange(m_port, request);
        SCOPED_TRACE(request.substr(0, 60));
        ASSERT_TRUE(WellFormed(response) || (response.empty() && !ordinary)) << response;
        ASSERT_EQ(response.find(kSecret), std::string::npos);
        ASSERT_EQ(response.find("root:"), std::string::npos);
        if (i == total / 10) level = Settled(pid);
    }
    ASSERT_TRUE(Serving());
    EXPECT_EQ(Settled(pid), level);

    // More connections that never speak than the server lets wait: tablets are still served,
    // the cap is logged once per burst, and the connections are gone with their peers.
    {
        std::vector<txtest::TcpClient> silent(100);
        for (txtest::TcpClient& client : silent) ASSERT_TRUE(client.Connect(m_port));
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(Serving());
        ASSERT_TRUE(WaitForLogged("too many waiting connections", 1));
    }
    EXPECT_TRUE(txtest::WaitUntil([&] { return Settled(pid).first <= level.first; }, 10s));
    EXPECT_LE(Logged("too many waiting connections"), 2);

    // The simulator and the gauge die and come back: offline and online again, and each key
    // pressed afterwards reaches the new gauge; what the program holds offline stays the same.
    Level offline{-1, -1};
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        sim->Process().Signal(SIGKILL);
        ASSERT_TRUE(WaitForLogged("FSX offline.", round + 1));
        if (round == 0) offline = Settled(pid);
        ASSERT_TRUE(txtest::WaitUntil([&] { return Settled(pid) == offline; }, 10s));
        gauge->Signal(round % 2 == 0 ? SIGKILL : SIGTERM);
        ASSERT_TRUE(gauge->Wait(10s).has_value());
        gauge = StartGauge(m_sandbox);
        sim = std::make_unique<txtest::SimStandin>(m_sandbox, simPort);
        ASSERT_TRUE(sim->Start());
        ASSERT_TRUE(WaitOnline(round + 2));
        // The first press after a gauge's death finds the old connection gone and reconnects.
        for (const std::string& code : {"0" + std::to_string(round), std::to_string(68 - round)}) {
            ASSERT_TRUE(WellFormed(Get(m_port, "/MCDU_KB_" + code)));
            const std::string seen = "GAUGE: code " + std::to_string(std::stoi(code)) + " (";
            ASSERT_TRUE(txtest::WaitUntil(
                [&] { return gauge->Stdout().find(seen) != std::string::npos; }, 10s))
                << gauge->Stdout();
        }
    }
    EXPECT_TRUE(m_program.Running());
}

TEST_F(SoakTest, ALogThatCannotBeOpenedOrWrittenNeverStopsTheProgram) {
    // A folder where the log file belongs: no one can open it, root included.
    m_sandbox.WriteIni(ServerIni(m_port));
    ASSERT_EQ(::mkdir(m_sandbox.LogPath().c_str(), 0700), 0);
    StartProgram();
    m_program.Signal(SIGTERM);
    ASSERT_EQ(m_program.Wait(20s), 0) << m_program.Stderr();
    ::rmdir(m_sandbox.LogPath().c_str());

    if (::system("unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs /mnt' 2>/dev/null") != 0)
        GTEST_SKIP() << "no tmpfs in a private mount namespace: a full disk not tried";
    // The settings folder a 64 KiB tmpfs with the INI and SimConnect.cfg, nearly full, that the
    // logged requests below fill; online, so that each of them writes a log line.
    const int simPort = txtest::FreeTcpPort();
    txtest::WriteSimConnectConfig(m_sandbox, simPort);
    const std::string folder = m_sandbox.settings(), staged = m_sandbox.home() + "/staged";
    StartProgram({"/usr/bin/unshare", "-m", "/bin/sh", "-c",
                  "cp -r '" + folder + "' '" + staged + "' && mount -t tmpfs -o size=64k tmpfs '" +
                      folder + "' && cp '" + staged + "/'* '" + folder +
                      "' && (dd if=/dev/zero of='" + folder +
                      "fill' bs=1k count=48 2>/dev/null; true) && exec '" + kProgram + "'"});
    txtest::SimStandin sim(m_sandbox, simPort);
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(txtest::WaitUntil(
        [&] { return Get(m_port, "/").find("FSX is offline") == std::string::npos; }, 20s));
    const std::string inside =
        "/proc/" + std::to_string(m_program.pid()) + "/root" + m_sandbox.LogPath();
    // Key presses without a gauge and refused names are logged: until the log stops growing,
    // then 200 more.
    size_t logged = 0;
    for (int sent = 0, unchanged = 0; unchanged < 4; ++sent) {
        ASSERT_LT(sent, 4000) << "the log never filled the disk: " << logged << " bytes";
        ASSERT_TRUE(WellFormed(Get(m_port, sent % 2 ? "/MCDU_KB_07" : "/../x.png")));
        if (sent % 50 == 49) {
            const size_t now = txtest::ReadFile(inside).size();
            unchanged = now == logged ? unchanged + 1 : 0;
            logged = now;
        }
    }
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(WellFormed(Get(m_port, "/MCDU_KB_07")));
    EXPECT_TRUE(m_program.Running());
}

}  // namespace
