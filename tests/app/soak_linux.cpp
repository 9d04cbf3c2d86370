// The program as a process through a hard life: many requests and hostile ones, a crowd of
// connections that never speak, a simulator and a gauge that die and come back, INI files that are
// not INI files, a log that cannot be written. Through all of it the program keeps serving, hands
// out nothing from outside its folders and leaves nothing behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "tests/support/ProgramRun.h"
#include "tests/support/SimStandin.h"
#include "tests/support/TcpClient.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

const std::string kProgram = txtest::BinaryPath("TarvelXConnectExtended");
// Kept one folder above the settings folder: no request may ever bring it back.
const std::string kSecret = "never-serve-this-5c1e";

// The least of a few looks over 200 ms: a connection just answered may hold a descriptor a moment.
int Settled(int (*count)(pid_t), pid_t pid) {
    int least = count(pid);
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(20ms);
        least = std::min(least, count(pid));
    }
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
            std::string("\x00\x01\x02\x03\r\n\r\n", 8),
            std::string("GET /MCDU_Dspl.png\x00.jpg", 23) + end,
            "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n",
            "GET\r\n\r\n",
            "GET / HTTP/9.9\r\n\r\n",
            "GET / HTTP/1.1\n\n",
            "BREW /" + end,
            "CONNECT 127.0.0.1:22" + end,
            "GET http://evil.example/../../etc/passwd" + end,
            "GET /../" + kSecret + ".png" + end,
            "GET /" + secretPath + end,
            "GET /..%2f" + kSecret + ".png" + end,
            "GET /..\\" + kSecret + ".png" + end,
            "GET /....//" + kSecret + ".png" + end,
            "GET /../../../../etc/passwd.jpg" + end,
            "GET /TarvelXConnectExtended.ini?.png" + end,
            "GET /MCDU_KB_-1" + end,
            "GET /MCDU_KB_9999999999999999999" + end};
}

class SoakTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (m_program.pid() > 0 && m_program.Running()) {
            m_program.Signal(SIGTERM);
            EXPECT_EQ(m_program.Wait(20s), 0) << m_program.Stderr();
        }
    }
    // Starts the program (through `wrapper`, a command line, when given) and waits for its port.
    void StartProgram(const std::vector<std::string>& wrapper = {}) {
        if (wrapper.empty()) {
            ASSERT_TRUE(m_program.Start(kProgram, {}, m_sandbox.Env()));
        } else {
            ASSERT_TRUE(
                m_program.Start(wrapper[0], {wrapper.begin() + 1, wrapper.end()}, m_sandbox.Env()));
        }
        ASSERT_TRUE(txtest::WaitUntil(
            [&] { return !m_program.Running() || !txtest::Get(m_port, "/").empty(); }, 30s));
        ASSERT_TRUE(m_program.Running()) << m_program.Stderr();
    }
    int Logged(const std::string& needle) {
        return txtest::CountLines(txtest::ReadFile(m_sandbox.LogPath()), needle);
    }
    bool WaitForLogged(const std::string& needle, int count) {
        return txtest::WaitUntil([&] { return Logged(needle) >= count; }, 20s);
    }
    bool Serving() { return txtest::IsWellFormedResponse(txtest::Get(m_port, "/")); }

    txtest::Sandbox m_sandbox;
    int m_port = txtest::FreeTcpPort();
    txtest::ChildProcess m_program;
};

bool StartGauge(txtest::ChildProcess& gauge, const txtest::Sandbox& sandbox) {
    return gauge.Start(txtest::BinaryPath("gauge-standin"), {}, sandbox.Env()) &&
           txtest::WaitUntil(
               [&] { return gauge.Stdout().find("GAUGE: listening on ") != std::string::npos; },
               10s);
}

TEST_F(SoakTest, LoadHostileHeadsSilentCrowdsAndDyingPeersLeaveItServingAndNothingBehind) {
    m_sandbox.WriteIni(txtest::ServerIni(m_port));
    txtest::WriteFile(m_sandbox.settings() + "../" + kSecret + ".png", kSecret);
    txtest::WriteFile(m_sandbox.settings() + "MCDU_Dspl.png", "picture");
    const int simPort = txtest::FreeTcpPort();
    auto sim = std::make_unique<txtest::SimStandin>(m_sandbox, simPort);
    ASSERT_TRUE(sim->Start());
    auto gauge = std::make_unique<txtest::ChildProcess>();
    ASSERT_TRUE(StartGauge(*gauge, m_sandbox));
    StartProgram();
    ASSERT_TRUE(WaitForLogged("FSX online.", 1));
    const pid_t pid = m_program.pid();

    // Load, then every hostile head once: answers are whole or the connection is closed, nothing
    // comes from outside the folders, and descriptors and threads stay level.
    const std::vector<std::string> requests = Requests(
        std::filesystem::canonical(m_sandbox.settings() + "..").string() + "/" + kSecret + ".png");
    const int total = txtest::Scaled(2000, 500);
    int fds = 0, threads = 0;
    for (int i = 0; i < total + static_cast<int>(requests.size() - kOrdinary); ++i) {
        const bool ordinary = i < total;
        const std::string& request =
            requests[ordinary ? static_cast<size_t>(i) % kOrdinary : kOrdinary + (i - total)];
        const std::string response = txtest::Exchange(m_port, request);
        SCOPED_TRACE(request.substr(0, 60));
        if (!response.empty() || ordinary) {
            ASSERT_TRUE(txtest::IsWellFormedResponse(response)) << response;
        }
        ASSERT_EQ(response.find(kSecret), std::string::npos);
        ASSERT_EQ(response.find("root:"), std::string::npos);
        if (i == total / 10) {
            fds = Settled(txtest::OpenDescriptors, pid);
            threads = Settled(txtest::Threads, pid);
        }
    }
    ASSERT_TRUE(Serving());
    EXPECT_EQ(Settled(txtest::OpenDescriptors, pid), fds);
    EXPECT_EQ(Settled(txtest::Threads, pid), threads);

    // More connections that never speak than the server lets wait: tablets are still served,
    // the cap is logged once per burst, and the connections are gone with their peers.
    {
        std::vector<std::unique_ptr<txtest::TcpClient>> silent;
        for (int i = 0; i < 100; ++i) {
            silent.push_back(std::make_unique<txtest::TcpClient>());
            ASSERT_TRUE(silent.back()->Connect(m_port));
        }
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(Serving());
        ASSERT_TRUE(WaitForLogged("too many waiting connections", 1));
    }
    EXPECT_TRUE(
        txtest::WaitUntil([&] { return Settled(txtest::OpenDescriptors, pid) <= fds; }, 10s));
    EXPECT_LE(Logged("too many waiting connections"), 2);

    // The simulator and the gauge die and come back: offline and online again, and each key
    // pressed afterwards reaches the new gauge; what the program holds offline stays the same.
    int fdsOffline = -1, threadsOffline = -1;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        sim->Process().Signal(SIGKILL);
        ASSERT_TRUE(WaitForLogged("FSX offline.", round + 1));
        if (fdsOffline < 0) {
            fdsOffline = Settled(txtest::OpenDescriptors, pid);
            threadsOffline = Settled(txtest::Threads, pid);
        }
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                return txtest::OpenDescriptors(pid) == fdsOffline &&
                       txtest::Threads(pid) == threadsOffline;
            },
            10s));
        gauge->Signal(round % 2 == 0 ? SIGKILL : SIGTERM);
        ASSERT_TRUE(gauge->Wait(10s).has_value());
        gauge = std::make_unique<txtest::ChildProcess>();
        ASSERT_TRUE(StartGauge(*gauge, m_sandbox));
        sim = std::make_unique<txtest::SimStandin>(m_sandbox, simPort);
        ASSERT_TRUE(sim->Start());
        ASSERT_TRUE(WaitForLogged("FSX online.", round + 2));
        // The first press after a gauge's death finds the old connection gone and reconnects.
        for (int code : {round, 68 - round}) {
            char path[32];
            std::snprintf(path, sizeof path, "/MCDU_KB_%02d", code);
            ASSERT_TRUE(txtest::IsWellFormedResponse(txtest::Get(m_port, path)));
            const std::string seen = "GAUGE: code " + std::to_string(code) + " (";
            ASSERT_TRUE(txtest::WaitUntil(
                [&] { return gauge->Stdout().find(seen) != std::string::npos; }, 10s))
                << gauge->Stdout();
        }
    }
    EXPECT_TRUE(m_program.Running());
}

TEST_F(SoakTest, IniFilesThatAreNotIniFilesStillStartRunAndStop) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) % 256);
    const std::string server = "[Server]\nEnabled=1\nWebserverWaits4Sim=0\nPort=";
    const std::string port = std::to_string(m_port);
    struct Case {
        std::string ini;
        bool serves;  // a usable [Server] section is in there
    };
    const std::vector<Case> cases = {
        {binary, false},
        {binary + "\n" + server + port + "\n" + binary, true},
        {"[Common]\nLogging=99999999999999999999999\nJunk=" + std::string(1 << 20, 'x') + "\n" +
             server + port + "\nWebserverWaits4Sim=18446744073709551617\n",
         true},
        {server + "4294971336\n" + std::string(70000, '['), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini.substr(0, 40));
        txtest::Sandbox sandbox;
        sandbox.WriteIni(c.ini);
        txtest::ChildProcess program;
        ASSERT_TRUE(program.Start(kProgram, {}, sandbox.Env()));
        if (c.serves)
            ASSERT_TRUE(txtest::WaitUntil([&] { return Serving(); }, 30s)) << program.Stderr();
        else
            std::this_thread::sleep_for(1s);
        EXPECT_TRUE(program.Running()) << program.Stderr();
        program.Signal(SIGTERM);
        EXPECT_EQ(program.Wait(20s), 0) << program.Stderr();
    }
}

TEST_F(SoakTest, ALogThatCannotBeOpenedOrWrittenNeverStopsTheProgram) {
    // A folder where the log file belongs: no one can open it, root included.
    m_sandbox.WriteIni(txtest::ServerIni(m_port));
    ASSERT_EQ(::mkdir(m_sandbox.LogPath().c_str(), 0700), 0);
    StartProgram();
    ASSERT_TRUE(Serving());
    m_program.Signal(SIGTERM);
    ASSERT_EQ(m_program.Wait(20s), 0) << m_program.Stderr();
    ::rmdir(m_sandbox.LogPath().c_str());

    if (::system("unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs /mnt' 2>/dev/null") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs in a private mount namespace: full disk not "
                        "tried";
    // The settings folder a 64 KiB tmpfs, nearly full, that the logged requests below fill;
    // online, so that each of them writes a log line.
    const std::string staged = m_sandbox.home() + "/staged.ini";
    txtest::WriteFile(staged, txtest::ServerIni(m_port));
    const int simPort = txtest::FreeTcpPort();
    const std::string stagedCfg = m_sandbox.home() + "/staged.cfg";
    txtest::WriteFile(stagedCfg, txtest::SimConnectConfigText(simPort));
    const std::string folder = m_sandbox.settings();
    StartProgram({"/usr/bin/unshare", "-m", "/bin/sh", "-c",
                  "mount -t tmpfs -o size=64k tmpfs '" + folder + "' && cp '" + staged + "' '" +
                      folder + "TarvelXConnectExtended.ini' && cp '" + stagedCfg + "' '" + folder +
                      "SimConnect.cfg' && (dd if=/dev/zero of='" + folder +
                      "fill' bs=1k count=48 2>/dev/null; true) && exec '" + kProgram + "'"});
    txtest::SimStandin sim(m_sandbox, simPort);
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(txtest::WaitUntil(
        [&] { return txtest::Get(m_port, "/").find("FSX is offline") == std::string::npos; }, 20s));
    const std::string inside =
        "/proc/" + std::to_string(m_program.pid()) + "/root" + m_sandbox.LogPath();
    // Key presses without a gauge and refused names are logged: until the log stops growing,
    // then 200 more.
    size_t logged = 0;
    int unchanged = 0;
    for (int sent = 0; unchanged < 4; ++sent) {
        ASSERT_LT(sent, 4000) << "the log never filled the disk: " << logged << " bytes";
        ASSERT_TRUE(txtest::IsWellFormedResponse(
            txtest::Get(m_port, sent % 2 ? "/MCDU_KB_07" : "/../x.png")));
        if (sent % 50 == 49) {
            const size_t now = txtest::ReadFile(inside).size();
            unchanged = now == logged ? unchanged + 1 : 0;
            logged = now;
        }
    }
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(txtest::IsWellFormedResponse(txtest::Get(m_port, "/MCDU_KB_07")));
    EXPECT_TRUE(m_program.Running());
}

}  // namespace
