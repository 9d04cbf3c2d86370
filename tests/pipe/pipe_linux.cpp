#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "log/LogStream.h"
#include "pipe/McduPipeClient.h"
#include "platform/Paths.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UnixListener.h"

namespace {

using namespace std::chrono_literals;
using txtest::CountLines;
using txtest::UnixListener;

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) bytes += static_cast<char>(value);
    return bytes;
}

// Every message on every connection must be a whole (code, 0x00) pair.
::testing::AssertionResult AllWholeMessages(const std::vector<UnixListener::Connection>& all) {
    for (size_t c = 0; c < all.size(); ++c) {
        const std::string& bytes = all[c].bytes;
        if (bytes.size() % 2 != 0)
            return ::testing::AssertionFailure()
                   << "connection " << c << " has odd length " << bytes.size();
        for (size_t i = 1; i < bytes.size(); i += 2)
            if (bytes[i] != 0)
                return ::testing::AssertionFailure()
                       << "connection " << c << " byte " << i << " is not 0x00";
    }
    return ::testing::AssertionSuccess();
}

class PipeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();
        m_path = platform::McduPipePath();
        m_logPath = m_dir.path() + "/pipe.log";
        ASSERT_TRUE(m_log.Open(m_logPath));
    }

    std::unique_ptr<mcdupipe::McduPipeClient> MakeClient(
        std::chrono::milliseconds busyWait = 5000ms) {
        return std::make_unique<mcdupipe::McduPipeClient>(m_path, m_log, busyWait);
    }
    std::string Log() { return txtest::ReadFile(m_logPath); }
    std::string ConnectedLine() { return "PIPE: The named pipe, " + m_path + ", is connected.\n"; }
    std::string UnableLine(const char* error) {
        return "PIPE: Unable to open named pipe " + m_path + " w/err " + error + "\n";
    }
    static bool HasBytes(UnixListener& listener, const std::string& expected) {
        return listener.WaitFor([&](const auto&) { return listener.AllBytes() == expected; }, 5s);
    }

    txtest::Sandbox m_sandbox;
    txtest::TempDir m_dir;
    std::string m_path;
    std::string m_logPath;
    logging::LogStream m_log;
};

TEST_F(PipeTest, DefaultPathIsTheRuntimeFoldersPipe) {
    mcdupipe::McduPipeClient client;
    EXPECT_EQ(client.PipePath(), m_sandbox.runtime() + "/pipe/MCDU_Input");
    EXPECT_FALSE(client.IsValid());
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(PipeTest, KeyProbeAndCloseGoOutAsTwoByteMessages) {
    UnixListener listener(m_path);
    ASSERT_TRUE(listener.Listening());
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    EXPECT_TRUE(client->IsConnected());
    EXPECT_TRUE(client->IsValid());
    EXPECT_NE(Log().find(ConnectedLine()), std::string::npos);

    EXPECT_TRUE(client->SendKey(7));
    ASSERT_TRUE(HasBytes(listener, Bytes({0x07, 0x00})));
    EXPECT_NE(Log().find("]: PIPE: Sends 2 bytes; Code: 7\n"), std::string::npos);

    // Codes pass unchecked; only the low 8 bits of larger numbers go out.
    EXPECT_TRUE(client->SendKey(68));
    EXPECT_TRUE(client->SendKey(99));
    EXPECT_TRUE(client->SendKey(0x123));
    EXPECT_TRUE(client->SendProbe());
    EXPECT_TRUE(client->SendClose());
    EXPECT_FALSE(client->IsValid());
    EXPECT_FALSE(client->IsConnected());
    ASSERT_TRUE(HasBytes(listener, Bytes({0x07, 0, 68, 0, 99, 0, 0x23, 0, 0xFE, 0, 0xFF, 0})));
    ASSERT_TRUE(listener.WaitFor([](const auto& all) { return all.size() == 1 && all[0].ended; }));

    const std::string log = Log();
    EXPECT_EQ(CountLines(log, "PIPE: Sends 2 bytes; Code: "), 4);
    EXPECT_NE(log.find("PIPE: Sends 2 bytes; Code: 35\n"), std::string::npos);
    EXPECT_EQ(CountLines(log, "PIPE: Sends MSG_PIPE_DUMMY, 2 bytes."), 1);
    EXPECT_EQ(CountLines(log, "PIPE: Sends MSG_PIPE_CLOSE, 2 bytes."), 1);

    // Closed: neither the probe nor a second close writes or logs anything.
    EXPECT_FALSE(client->SendProbe());
    EXPECT_FALSE(client->SendClose());
    EXPECT_EQ(Log(), log);
}

TEST_F(PipeTest, NegativeCodeIsRefusedWithoutWritingOrReconnecting) {
    auto client = MakeClient();
    EXPECT_FALSE(client->SendKey(-1));
    EXPECT_EQ(CountLines(Log(), "PIPE: Refused key code -1: not a key."), 1);
    EXPECT_EQ(CountLines(Log(), "Unable to open"), 0);  // not even a reconnection attempt

    UnixListener listener(m_path);
    ASSERT_TRUE(client->ConnectMcduPipe());
    EXPECT_FALSE(client->SendKey(-255));
    EXPECT_TRUE(client->SendKey(1));
    ASSERT_TRUE(HasBytes(listener, Bytes({0x01, 0x00})));
    EXPECT_EQ(CountLines(Log(), "PIPE: Refused key code -255: not a key."), 1);
}

TEST_F(PipeTest, AbsentGaugeThenFirstKeyIsDroppedAndReconnects) {
    auto client = MakeClient();
    EXPECT_FALSE(client->ConnectMcduPipe());
    EXPECT_EQ(CountLines(Log(), "]: "), 1);  // this one line and nothing else
    EXPECT_NE(Log().find("]: " + UnableLine("0x00000002")), std::string::npos);  // ENOENT
    EXPECT_FALSE(client->SendProbe());  // not connected: nothing to log

    UnixListener listener(m_path);
    ASSERT_TRUE(listener.Listening());
    EXPECT_FALSE(client->SendKey(12));
    std::string log = Log();
    const size_t lost = log.find(
        "ERROR: Connection with MCDU input interface is lost. Please restart. (The pressed key "
        "code: 12)\n");
    ASSERT_NE(lost, std::string::npos);
    EXPECT_GT(log.find(ConnectedLine()), lost);
    EXPECT_TRUE(client->IsConnected());
    ASSERT_TRUE(listener.WaitFor([](const auto& all) { return all.size() == 1; }));

    EXPECT_TRUE(client->SendKey(13));
    ASSERT_TRUE(HasBytes(listener, Bytes({13, 0})));  // the dropped 12 never went out
    EXPECT_EQ(CountLines(Log(), "PIPE: Sends 2 bytes; Code: 13"), 1);
}

TEST_F(PipeTest, SocketFileWithoutListenerIsRefused) {
    // What a crashed gauge leaves behind: the file is there, nobody listens.
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, m_path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);

    auto client = MakeClient();
    EXPECT_FALSE(client->ConnectMcduPipe());
    EXPECT_NE(Log().find(UnableLine("0x0000006f")), std::string::npos);  // ECONNREFUSED
    EXPECT_FALSE(client->IsValid());
}

TEST_F(PipeTest, KeyToAGaugeThatWentAwayReconnectsAndArrives) {
    UnixListener listener(m_path);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(client->SendKey(7));
    ASSERT_TRUE(HasBytes(listener, Bytes({7, 0})));

    listener.DropConnections();  // the gauge restarted: the old connection is dead
    EXPECT_TRUE(client->SendKey(8));
    ASSERT_TRUE(listener.WaitFor([](const auto& all) {
        return all.size() == 2 && all[1].bytes == std::string("\x08\x00", 2);
    }));
    const std::string log = Log();
    const size_t failed = log.find("PIPE: WriteFile failed w/err 0x00000020.\n");  // EPIPE
    ASSERT_NE(failed, std::string::npos);
    const size_t sends = log.find("]:   Sends 0 bytes; Code: 8.  2 bytes to write; bResult: 0\n");
    ASSERT_NE(sends, std::string::npos);
    const size_t reconnected = log.find(ConnectedLine(), failed);
    ASSERT_NE(reconnected, std::string::npos);
    EXPECT_LT(failed, sends);
    EXPECT_LT(sends, reconnected);
    EXPECT_GT(log.find("PIPE: Sends 2 bytes; Code: 8\n"), reconnected);

    // Nothing after that is lost.
    for (int code = 9; code <= 11; ++code) EXPECT_TRUE(client->SendKey(code));
    EXPECT_TRUE(listener.WaitFor([](const auto& all) {
        return all.size() == 2 && all[1].bytes == Bytes({8, 0, 9, 0, 10, 0, 11, 0});
    }));
}

TEST_F(PipeTest, KeyToAGaugeGoneForGoodLeavesNoDeadHandle) {
    auto listener = std::make_unique<UnixListener>(m_path);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    listener.reset();  // gone, socket file removed

    EXPECT_FALSE(client->SendKey(20));
    EXPECT_NE(Log().find("PIPE: WriteFile failed w/err 0x00000020.\n"), std::string::npos);
    EXPECT_NE(Log().find(UnableLine("0x00000002")), std::string::npos);
    EXPECT_FALSE(client->IsValid());

    // The next key takes the invalid-handle path: logged, dropped, one reconnection.
    UnixListener back(m_path);
    EXPECT_FALSE(client->SendKey(21));
    EXPECT_EQ(CountLines(Log(), "(The pressed key code: 21)"), 1);
    EXPECT_TRUE(client->SendKey(22));
    EXPECT_TRUE(HasBytes(back, Bytes({22, 0})));
}

TEST_F(PipeTest, ProbeToAGaugeThatWentAwayReopensThePipe) {
    UnixListener listener(m_path);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(listener.WaitFor([](const auto& all) { return all.size() == 1; }));
    listener.DropConnections();

    EXPECT_FALSE(client->SendProbe());
    const std::string log = Log();
    const size_t failed = log.find("PIPE: WriteFile failed w/err 0x00000020.\n");
    ASSERT_NE(failed, std::string::npos);
    // The failure pair has no line end of its own: the next entry follows on the same line.
    EXPECT_NE(log.find("]:   Sends 0 bytes; bResult: 0.[", failed), std::string::npos);
    EXPECT_EQ(CountLines(log, "is connected."), 2);
    EXPECT_TRUE(client->IsConnected());

    EXPECT_TRUE(client->SendProbe());
    EXPECT_TRUE(listener.WaitFor([](const auto& all) {
        return all.size() == 2 && all[1].bytes == Bytes({0xFE, 0});
    }));
}

TEST_F(PipeTest, ConnectClosesTheHandleThatIsStillOpen) {
    UnixListener listener(m_path);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(client->ConnectMcduPipe());
    EXPECT_TRUE(listener.WaitFor(
        [](const auto& all) { return all.size() == 2 && all[0].ended && !all[1].ended; }));
    EXPECT_TRUE(client->SendKey(5));
    EXPECT_TRUE(listener.WaitFor([](const auto& all) {
        return all.size() == 2 && all[1].bytes == Bytes({5, 0});
    }));
}

class BusyQueue {
  public:
    // A listener that never accepts on its own, with its queue already full.
    explicit BusyQueue(const std::string& path) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        m_listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 0);
        // Fill the queue until the kernel reports it full.
        for (int i = 0; i < 8; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                m_fullError = errno;
                ::close(fd);
                break;
            }
            m_fillers.push_back(fd);
        }
    }
    ~BusyQueue() {
        for (int fd : m_fillers) ::close(fd);
        ::close(m_listener);
    }
    int FullError() const { return m_fullError; }
    void AcceptOne() {
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd >= 0) m_accepted.push_back(fd);
    }
    void CloseAccepted() {
        for (int fd : m_accepted) ::close(fd);
    }

  private:
    int m_listener = -1;
    int m_fullError = 0;
    std::vector<int> m_fillers;
    std::vector<int> m_accepted;
};

TEST_F(PipeTest, FullListenQueueIsWaitedOutUntilTheGaugeAccepts) {
    BusyQueue queue(m_path);
    ASSERT_EQ(queue.FullError(), EAGAIN);  // how Linux reports the busy pipe

    auto client = MakeClient();
    std::atomic<bool> done{false};
    bool connected = false;
    std::thread connecting([&] {
        connected = client->ConnectMcduPipe();
        done = true;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(done.load());  // still waiting for room
    queue.AcceptOne();
    queue.AcceptOne();
    connecting.join();
    EXPECT_TRUE(connected);
    EXPECT_EQ(CountLines(Log(), "Unable to open"), 0);
    EXPECT_EQ(CountLines(Log(), ConnectedLine().substr(0, ConnectedLine().size() - 1)), 1);
    queue.CloseAccepted();
}

TEST_F(PipeTest, FullListenQueueGivesUpAfterTheWait) {
    BusyQueue queue(m_path);
    ASSERT_EQ(queue.FullError(), EAGAIN);
    auto client = MakeClient(150ms);
    EXPECT_FALSE(client->ConnectMcduPipe());
    EXPECT_NE(Log().find(UnableLine("0x0000000b")), std::string::npos);  // EAGAIN
    EXPECT_FALSE(client->IsValid());
}

TEST_F(PipeTest, ThreadsNeverInterleaveMessages) {
    UnixListener listener(m_path);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());

    constexpr int kSenders = 4;
    constexpr int kProbes = 60;
    constexpr int kReconnectEvery = 6;
    std::atomic<bool> workerDone{false};
    std::atomic<int> probesSent{0};
    std::vector<int> keysSent(kSenders, 0);
    // The web server side: keys until the worker has finished, a good number at least.
    std::vector<std::thread> senders;
    for (int t = 0; t < kSenders; ++t) {
        senders.emplace_back([&, t] {
            while (!workerDone || keysSent[t] < 200)
                if (client->SendKey(30 + t)) ++keysSent[t];
        });
    }
    // The simulator worker: probes, and every few of them a fresh connection.
    std::thread worker([&] {
        for (int i = 1; i <= kProbes; ++i) {
            if (client->SendProbe()) ++probesSent;
            if (i % kReconnectEvery == 0) {
                EXPECT_TRUE(client->ConnectMcduPipe());
            }
            std::this_thread::sleep_for(1ms);
        }
        workerDone = true;
    });
    worker.join();
    for (auto& thread : senders) thread.join();
    EXPECT_EQ(probesSent.load(), kProbes);  // no probe ever met a closed handle

    size_t expected = 2u * static_cast<size_t>(probesSent);
    for (int sent : keysSent) expected += 2u * static_cast<size_t>(sent);
    ASSERT_TRUE(
        listener.WaitFor([&](const auto&) { return listener.AllBytes().size() == expected; }));
    const auto all = listener.Connections();
    EXPECT_EQ(all.size(), 1u + kProbes / kReconnectEvery);
    EXPECT_TRUE(AllWholeMessages(all));
    std::map<int, int> counts;
    const std::string bytes = listener.AllBytes();
    for (size_t i = 0; i < bytes.size(); i += 2) ++counts[static_cast<unsigned char>(bytes[i])];
    for (int t = 0; t < kSenders; ++t) EXPECT_EQ(counts[30 + t], keysSent[t]) << "sender " << t;
    EXPECT_EQ(counts[0xFE], kProbes);
    EXPECT_EQ(counts.size(), static_cast<size_t>(kSenders) + 1);
}

// With the real gauge stand-in at the other end: killed and started again.
TEST_F(PipeTest, GaugeKilledAndRestartedLosesNoKey) {
    auto startGauge = [&](txtest::ChildProcess& gauge) {
        ASSERT_TRUE(gauge.Start(txtest::BinaryPath("gauge-standin"), {}, m_sandbox.Env()));
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                return gauge.Stdout().find("GAUGE: listening on " + m_path) != std::string::npos;
            },
            10s))
            << gauge.Stdout();
    };
    auto first = std::make_unique<txtest::ChildProcess>();
    startGauge(*first);
    auto client = MakeClient();
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(client->SendKey(7));
    EXPECT_TRUE(txtest::WaitUntil(
        [&] { return first->Stdout().find("GAUGE: code 7 (RSK 2)") != std::string::npos; }, 10s));

    first->Signal(SIGKILL);
    ASSERT_TRUE(first->Wait(5s).has_value());
    txtest::ChildProcess second;
    startGauge(second);
    EXPECT_NE(second.Stdout().find("GAUGE: removed the stale socket"), std::string::npos);

    EXPECT_TRUE(client->SendKey(8));
    const std::string log = Log();
    EXPECT_EQ(CountLines(log, "PIPE: WriteFile failed w/err 0x00000020."), 1);
    EXPECT_EQ(CountLines(log, "  Sends 0 bytes; Code: 8.  2 bytes to write; bResult: 0"), 1);
    EXPECT_EQ(CountLines(log, "PIPE: Sends 2 bytes; Code: 8"), 1);
    for (int code : {9, 39, 68}) EXPECT_TRUE(client->SendKey(code));
    EXPECT_TRUE(txtest::WaitUntil(
        [&] {
            const std::string out = second.Stdout();
            return CountLines(out, "GAUGE: code 8 (RSK 3)") == 1 &&
                   CountLines(out, "GAUGE: code 9 (RSK 4)") == 1 &&
                   CountLines(out, "GAUGE: code 39 (A)") == 1 &&
                   CountLines(out, "GAUGE: code 68 (CLR)") == 1;
        },
        10s))
        << second.Stdout();
    EXPECT_EQ(CountLines(second.Stdout(), "GAUGE: code 7 "), 0);
}

}  // namespace
