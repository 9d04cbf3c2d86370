// The program under load and under faults, as a process: many requests, slow clients, a gauge
// and a simulator that die and come back, a log that cannot be written. Through all of it the
// program keeps serving and leaves nothing behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
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
using Clock = std::chrono::steady_clock;

const std::string kProgram = txtest::BinaryPath("TarvelXConnectExtended");

int CountOf(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

// The least of a few looks at a count over 200 ms: a connection just answered or a key press's
// connection attempt may still hold a descriptor for a moment.
int Settled(int (*count)(pid_t), pid_t pid) {
    int least = count(pid);
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(20ms);
        least = std::min(least, count(pid));
    }
    return least;
}

// The sockets a process holds: its connections and listeners, not the files its libraries open.
int OpenSockets(pid_t pid) {
    int count = 0;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (std::filesystem::read_symlink(entry.path(), error).string().rfind("socket:", 0) == 0)
            ++count;
    }
    return count;
}

class HardeningTest : public ::testing::Test {
  protected:
    void SetUp() override { m_port = txtest::FreeTcpPort(); }
    void TearDown() override {
        if (m_program.pid() > 0 && m_program.Running()) {
            m_program.Signal(SIGTERM);
            EXPECT_EQ(m_program.Wait(20s), 0) << m_program.Stderr();
        }
    }

    // Starts the program and waits until it answers on its port.
    void StartProgram(const std::vector<std::string>& wrapper = {}) {
        if (wrapper.empty()) {
            ASSERT_TRUE(m_program.Start(kProgram, {}, m_sandbox.Env()));
        } else {
            std::vector<std::string> args(wrapper.begin() + 1, wrapper.end());
            ASSERT_TRUE(m_program.Start(wrapper[0], args, m_sandbox.Env()));
        }
        ASSERT_TRUE(txtest::WaitUntil(
            [&] { return !m_program.Running() || !txtest::Get(m_port, "/").empty(); }, 30s));
        ASSERT_TRUE(m_program.Running()) << m_program.Stderr();
    }
    std::string Log() const { return txtest::ReadFile(m_sandbox.LogPath()); }
    bool WaitForLogCount(const std::string& needle, int count, std::chrono::milliseconds timeout) {
        return txtest::WaitUntil([&] { return CountOf(Log(), needle) >= count; }, timeout);
    }
    // The log says "FSX online." a moment before the server sees the simulator online: waits
    // for the status page itself.
    bool WaitForOnlinePages() {
        return txtest::WaitUntil(
            [&] {
                const std::string page = txtest::Get(m_port, "/");
                return txtest::IsWellFormedResponse(page) &&
                       page.find("FSX is offline") == std::string::npos;
            },
            20s);
    }
    // The program answers "/" with a whole response.
    void ExpectServing() {
        const std::string response = txtest::Get(m_port, "/");
        EXPECT_TRUE(txtest::IsWellFormedResponse(response)) << response;
    }

    txtest::Sandbox m_sandbox;
    int m_port = 0;
    txtest::ChildProcess m_program;
};

// ---- Load -------------------------------------------------------------------------------------

TEST_F(HardeningTest, ManyMixedRequestsLeaveDescriptorsThreadsAndMemorySteady) {
    m_sandbox.WriteIni(txtest::ServerIni(m_port));
    txtest::WriteFile(m_sandbox.settings() + "MCDU_Dspl.png", std::string(20000, 'p'));
    txtest::SimStandin sim(m_sandbox);
    ASSERT_TRUE(sim.Start());
    StartProgram();
    ASSERT_TRUE(WaitForOnlinePages()) << Log();

    // Pages, images, key presses (no gauge: each is dropped), refusals and broken requests.
    const std::vector<std::string> requests = {
        "GET / HTTP/1.1\r\nUser-Agent: load\r\n\r\n",
        "GET /MCDU HTTP/1.1\r\n\r\n",
        "GET /MCDU_main HTTP/1.1\r\nAccept: text/html\r\n\r\n",
        "GET /MCDU_Dspl.png?t=1 HTTP/1.1\r\n\r\n",
        "GET /MCDU_KB_07 HTTP/1.1\r\n\r\n",
        "GET /missing.png HTTP/1.1\r\n\r\n",
        "GET /nowhere HTTP/1.1\r\n\r\n",
        "GET /../secret.png HTTP/1.1\r\n\r\n",
        "GET / HTTP/1.1\n\n",  // a lone line feed ends the head: closed without an answer
        "BREW /\r\n\r\n",      // any method: answered for its path
    };
    const int total = txtest::Scaled(100000, 10000);
    const pid_t pid = m_program.pid();
    int answered = 0;
    int fdsAfterWarmUp = 0, threadsAfterWarmUp = 0;
    long rssAfterWarmUp = 0;
    const auto started = Clock::now();
    for (int i = 0; i < total; ++i) {
        const std::string response =
            txtest::Exchange(m_port, requests[static_cast<size_t>(i) % requests.size()]);
        if (!response.empty()) {
            ASSERT_TRUE(txtest::IsWellFormedResponse(response)) << i << ": " << response;
            ++answered;
        }
        if (i == total / 10) {
            fdsAfterWarmUp = Settled(txtest::OpenDescriptors, pid);
            threadsAfterWarmUp = Settled(txtest::Threads, pid);
            rssAfterWarmUp = txtest::ResidentKib(pid);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const int fds = Settled(txtest::OpenDescriptors, pid);
    const int threads = Settled(txtest::Threads, pid);
    const long rss = txtest::ResidentKib(pid);
    std::printf(
        "%d requests (%d answered) in %.1f s; descriptors %d -> %d, threads %d -> %d, "
        "resident %ld -> %ld KiB\n",
        total, answered, seconds, fdsAfterWarmUp, fds, threadsAfterWarmUp, threads, rssAfterWarmUp,
        rss);
    // Nine of the ten kinds are answered.
    EXPECT_EQ(answered, total / 10 * 9);
    EXPECT_EQ(fds, fdsAfterWarmUp);
    EXPECT_EQ(threads, threadsAfterWarmUp);
    // The sanitizers' own bookkeeping grows with every allocation; the program's is measured in
    // the normal build.
    if (!txtest::kSanitized) {
        EXPECT_LT(rss - rssAfterWarmUp, 2048);
    }
    EXPECT_TRUE(m_program.Running());
}

TEST_F(HardeningTest, ACrowdOfSilentConnectionsLeavesTheTabletsServedAndNothingBehind) {
    m_sandbox.WriteIni(txtest::ServerIni(m_port));
    StartProgram();
    const pid_t pid = m_program.pid();
    // What the program holds idle once it has served both pages.
    for (int i = 0; i < 10; ++i) ExpectServing();
    ASSERT_TRUE(txtest::IsWellFormedResponse(txtest::Get(m_port, "/MCDU")));
    const int socketsIdle = Settled(OpenSockets, pid);

    // 200 connections that never send a byte, the oldest ten replaced by new ones every 150 ms
    // for 30 s, beside two tablets' requests: many more than the server lets wait at once.
    constexpr size_t kSilent = 200;
    const auto floodTime = 30s;
    std::atomic<bool> flooding{true};
    std::atomic<int> opened{0};
    std::thread flood([&] {
        std::vector<std::unique_ptr<txtest::TcpClient>> silent;
        while (flooding.load()) {
            while (silent.size() < kSilent && flooding.load()) {
                auto client = std::make_unique<txtest::TcpClient>();
                if (client->Connect(m_port)) ++opened;
                silent.push_back(std::move(client));
            }
            std::this_thread::sleep_for(150ms);
            silent.erase(silent.begin(), silent.begin() + 10);
        }
    });

    const auto started = Clock::now();
    int asked = 0;
    int answered = 0;
    int socketsMost = 0;
    long rssAfterWarmUp = 0;
    while (Clock::now() - started < floodTime) {
        const std::string path = asked % 2 == 0 ? "/" : "/MCDU";
        const std::string response = txtest::Exchange(m_port, "GET " + path + " HTTP/1.1\r\n\r\n");
        ++asked;
        if (txtest::IsWellFormedResponse(response)) ++answered;
        socketsMost = std::max(socketsMost, OpenSockets(pid));
        if (rssAfterWarmUp == 0 && Clock::now() - started > floodTime / 6)
            rssAfterWarmUp = txtest::ResidentKib(pid);
        std::this_thread::sleep_for(100ms);
    }
    const long rss = txtest::ResidentKib(pid);
    flooding.store(false);
    flood.join();
    std::printf(
        "%d silent connections opened in %lld s; %d of %d requests answered; sockets %d idle, at "
        "most %d; resident %ld -> %ld KiB\n",
        opened.load(), static_cast<long long>(floodTime.count()), answered, asked, socketsIdle,
        socketsMost, rssAfterWarmUp, rss);

    EXPECT_EQ(answered, asked);
    EXPECT_GT(opened.load(), 4 * static_cast<int>(kSilent));
    // The waiting connections are bounded (64) whatever arrives, and gone once their peers are.
    EXPECT_LE(socketsMost, socketsIdle + 64 + 8);
    EXPECT_TRUE(txtest::WaitUntil([&] { return Settled(OpenSockets, pid) <= socketsIdle; }, 10s))
        << OpenSockets(pid) << " sockets, " << socketsIdle << " when idle";
    if (!txtest::kSanitized) {
        EXPECT_LT(rss - rssAfterWarmUp, 2048);
    }
    // Said once per burst, not once per connection closed.
    const int capLines = CountOf(Log(), "too many waiting connections");
    EXPECT_GE(capLines, 1);
    EXPECT_LT(capLines, 20);
    ExpectServing();
}

// ---- Peers that die ---------------------------------------------------------------------------

TEST_F(HardeningTest, GaugeKilledAndRestartedLosesNoKeyPressedAfterwards) {
    m_sandbox.WriteIni(txtest::ServerIni(m_port));
    txtest::SimStandin sim(m_sandbox);
    ASSERT_TRUE(sim.Start());
    // The first gauge is there before the program, which connects to it as its server starts. A
    // key pressed while no gauge was ever reached is dropped (and a connection tried), so every
    // later gauge is met the way a restarted one is: by a key whose write finds the old one gone.
    auto startGauge = [&](txtest::ChildProcess& gauge) {
        return gauge.Start(txtest::BinaryPath("gauge-standin"), {}, m_sandbox.Env()) &&
               txtest::WaitUntil(
                   [&] { return gauge.Stdout().find("GAUGE: listening on ") != std::string::npos; },
                   10s);
    };
    auto first = std::make_unique<txtest::ChildProcess>();
    ASSERT_TRUE(startGauge(*first));
    StartProgram();
    ASSERT_TRUE(WaitForOnlinePages()) << Log();
    ASSERT_TRUE(txtest::WaitUntil(
        [&] { return first->Stdout().find("program connected") != std::string::npos; }, 10s))
        << first->Stdout();

    const int rounds = txtest::Scaled(50, 10);
    for (int round = 0; round < rounds; ++round) {
        std::unique_ptr<txtest::ChildProcess> next = std::move(first);
        if (!next) {
            next = std::make_unique<txtest::ChildProcess>();
            ASSERT_TRUE(startGauge(*next)) << "round " << round;
        }
        txtest::ChildProcess& gauge = *next;
        // Keys 0..68 in turn, two per gauge; every one reaches this gauge.
        for (int k = 0; k < 2; ++k) {
            const int code = (round * 2 + k) % 69;
            char path[32];
            std::snprintf(path, sizeof path, "/MCDU_KB_%02d", code);
            ASSERT_TRUE(txtest::IsWellFormedResponse(txtest::Get(m_port, path)));
            const std::string seen = "GAUGE: code " + std::to_string(code) + " (";
            ASSERT_TRUE(txtest::WaitUntil(
                [&] { return gauge.Stdout().find(seen) != std::string::npos; }, 10s))
                << "round " << round << ", key " << code << "\n"
                << gauge.Stdout() << Log();
        }
        gauge.Signal(round % 2 == 0 ? SIGKILL : SIGTERM);
        ASSERT_TRUE(gauge.Wait(10s).has_value());
    }
    EXPECT_TRUE(m_program.Running());
}

TEST_F(HardeningTest, SimulatorKilledAndRestartedGoesOfflineAndOnlineLeavingNothingBehind) {
    m_sandbox.WriteIni(txtest::ServerIni(m_port));
    // Every stand-in comes back on the port the program was told of.
    const int simPort = txtest::FreeTcpPort();
    txtest::WriteSimConnectConfig(m_sandbox, simPort);
    StartProgram();
    const pid_t pid = m_program.pid();
    int fdsOffline = -1, threadsOffline = -1;

    const int rounds = txtest::Scaled(50, 8);
    for (int round = 0; round < rounds; ++round) {
        auto sim = std::make_unique<txtest::SimStandin>(m_sandbox, simPort);
        ASSERT_TRUE(sim->Start()) << "round " << round << "\n" << sim->Process().Stderr();
        ASSERT_TRUE(WaitForLogCount("FSX online.", round + 1, 20s)) << "round " << round;
        ExpectServing();
        sim->Process().Signal(SIGKILL);
        ASSERT_TRUE(sim->Process().Wait(10s).has_value());
        ASSERT_TRUE(WaitForLogCount("FSX offline.", round + 1, 20s)) << "round " << round;
        sim.reset();
        // The worker has ended once offline; what is left must be the same every round.
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                return threadsOffline < 0 || (txtest::Threads(pid) == threadsOffline &&
                                              txtest::OpenDescriptors(pid) == fdsOffline);
            },
            10s))
            << "round " << round << ": threads " << txtest::Threads(pid) << " (was "
            << threadsOffline << "), descriptors " << txtest::OpenDescriptors(pid) << " (was "
            << fdsOffline << ")";
        if (threadsOffline < 0) {
            threadsOffline = txtest::Threads(pid);
            fdsOffline = txtest::OpenDescriptors(pid);
        }
    }
    std::printf("%d simulator restarts; offline the program holds %d threads, %d descriptors\n",
                rounds, threadsOffline, fdsOffline);
    EXPECT_TRUE(m_program.Running());
}

// ---- A log that cannot be written -------------------------------------------------------------

TEST_F(HardeningTest, LogFolderMissingOrUnwritableNeverStopsTheProgram) {
    // The log lives beside the INI; a folder of that name where the log file belongs makes it
    // impossible to open for anyone, root included.
    m_sandbox.WriteIni(txtest::ServerIni(m_port));
    ASSERT_EQ(::mkdir(m_sandbox.LogPath().c_str(), 0700), 0);
    StartProgram();
    ExpectServing();
    ASSERT_TRUE(m_program.Running());
    m_program.Signal(SIGTERM);
    ASSERT_EQ(m_program.Wait(20s), 0) << m_program.Stderr();

    // The settings folder read-only (a read-only bind mount, which binds root too).
    if (::system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "no private mount namespace here: read-only folder not tried";
    ::rmdir(m_sandbox.LogPath().c_str());
    const std::string folder = m_sandbox.settings();
    StartProgram({"/usr/bin/unshare", "-m", "/bin/sh", "-c",
                  "mount --bind '" + folder + "' '" + folder + "' && mount -o remount,bind,ro '" +
                      folder + "' && exec '" + kProgram + "'"});
    ExpectServing();
    EXPECT_FALSE(txtest::FileExists(m_sandbox.LogPath()));
    EXPECT_TRUE(m_program.Running());
}

TEST_F(HardeningTest, FullDiskForTheLogNeverStopsTheProgram) {
    if (::system("unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs /mnt' 2>/dev/null") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs in a private mount namespace: full disk not "
                        "tried";
    // The settings folder becomes a 64 KiB tmpfs holding the INI, the SimConnect.cfg and a file
    // that leaves the log a few KiB, which the requests below fill.
    m_sandbox.WriteIni(txtest::ServerIni(m_port));
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
    // The simulator online makes every request below write a log line.
    txtest::SimStandin sim(m_sandbox, simPort);
    ASSERT_TRUE(sim.Start());
    const std::string inside =
        "/proc/" + std::to_string(m_program.pid()) + "/root" + m_sandbox.LogPath();
    ASSERT_TRUE(WaitForOnlinePages());
    // Requests that log (key presses without a gauge, refused names) until the log stops growing,
    // then as many again: all are answered.
    size_t logged = 0;
    int unchanged = 0;
    const int limit = txtest::Scaled(4000, 1000);
    int sent = 0;
    for (; sent < limit && unchanged < 4; ++sent) {
        const std::string response = txtest::Get(m_port, sent % 2 ? "/MCDU_KB_07" : "/../x.png");
        ASSERT_TRUE(txtest::IsWellFormedResponse(response)) << sent << ": " << response;
        if (sent % 50 == 49) {
            const size_t now = txtest::ReadFile(inside).size();
            unchanged = now == logged ? unchanged + 1 : 0;
            logged = now;
        }
    }
    ASSERT_EQ(unchanged, 4) << "the log never filled the disk: " << logged << " bytes";
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(txtest::IsWellFormedResponse(txtest::Get(m_port, "/MCDU_KB_07")));
    std::printf("log filled the disk at %zu bytes after %d requests\n", logged, sent);
    ExpectServing();
    EXPECT_TRUE(m_program.Running());
}

}  // namespace
