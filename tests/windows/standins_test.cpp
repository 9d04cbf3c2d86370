// The Windows stand-ins as the program meets them under Wine: the gauge's named pipe takes the
// program's 2-byte messages and fails on request with the errors a real gauge gives its writer,
// and the simulator's window can be found by its class exactly while the stand-in runs.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/LogStream.h"
#include "pipe/McduPipeClient.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using txtest::WaitUntil;

constexpr auto kStartTimeout = 30s;
constexpr auto kExitTimeout = 10s;

// Names of pipes and events are global in a Wine prefix: each test takes its own.
std::string UniqueName(const char* what) {
    static int counter = 0;
    return std::string("tx_standins_") + what + "_" + std::to_string(::GetCurrentProcessId()) +
           "_" + std::to_string(++counter);
}

std::string PipePath(const std::string& name) {
    return "\\\\.\\pipe\\" + name;
}

// A stand-in started with the given arguments; false (and a message) when it cannot start.
::testing::AssertionResult Start(txtest::ChildProcess& process, const char* program,
                                 const std::vector<std::string>& args) {
    if (process.Start(txtest::BinaryPath(program), args, {})) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "cannot start " << program << ": " << ::GetLastError();
}

// A named manual-reset event made before the stand-in opens it.
class NamedEvent {
  public:
    NamedEvent() : m_name(UniqueName("stop")) {
        m_event = ::CreateEventA(nullptr, TRUE, FALSE, m_name.c_str());
    }
    ~NamedEvent() { ::CloseHandle(m_event); }
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;
    const std::string& Name() const { return m_name; }
    void Set() { ::SetEvent(m_event); }

  private:
    std::string m_name;
    HANDLE m_event = nullptr;
};

// The program's side of the pipe, with the calls it makes: open for writing, byte mode, 2-byte
// writes. Every failure keeps its GetLastError().
class PipeWriter {
  public:
    ~PipeWriter() { Close(); }

    // 0, or the open's error.
    DWORD Open(const std::string& path) {
        Close();
        m_pipe = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (m_pipe == INVALID_HANDLE_VALUE) return ::GetLastError();
        DWORD mode = PIPE_READMODE_BYTE;
        if (!::SetNamedPipeHandleState(m_pipe, &mode, nullptr, nullptr)) return ::GetLastError();
        return 0;
    }
    // Opens, waiting for a busy pipe as the program does; 0 or the last error.
    DWORD OpenWaiting(const std::string& path, DWORD waitMs) {
        DWORD error = Open(path);
        while (error == ERROR_PIPE_BUSY) {
            if (!::WaitNamedPipeA(path.c_str(), waitMs)) return ::GetLastError();
            error = Open(path);
        }
        return error;
    }
    // 0 when both bytes went out, else the error (ERROR_WRITE_FAULT for a short write).
    DWORD Send(int code) {
        const unsigned char message[2] = {static_cast<unsigned char>(code), 0};
        DWORD written = 0;
        if (!::WriteFile(m_pipe, message, 2, &written, nullptr)) return ::GetLastError();
        return written == 2 ? 0 : ERROR_WRITE_FAULT;
    }
    void Close() {
        if (m_pipe != INVALID_HANDLE_VALUE) ::CloseHandle(m_pipe);
        m_pipe = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
};

// The gauge stand-in on a pipe of its own, logging into a file of its own.
class Gauge {
  public:
    explicit Gauge(const std::vector<std::string>& faults = {})
        : m_pipe(UniqueName("pipe")), m_logPath(m_folder.path() + "\\gauge.log") {
        std::vector<std::string> args = {"--pipe",  m_pipe,         "--log",
                                         m_logPath, "--stop-event", m_stop.Name()};
        args.insert(args.end(), faults.begin(), faults.end());
        m_started = Start(m_process, "gauge-standin", args);
    }

    ::testing::AssertionResult Ready() {
        if (!m_started) return m_started;
        if (!WaitUntil([&] { return Log().find("GAUGE: listening on") != std::string::npos; },
                       kStartTimeout))
            return ::testing::AssertionFailure() << "not listening; log:\n"
                                                 << Log() << m_process.Stdout();
        return ::testing::AssertionSuccess();
    }
    bool LogShows(const std::string& text) {
        return WaitUntil([&] { return Log().find(text) != std::string::npos; }, 5s);
    }
    std::string Log() const { return txtest::ReadFile(m_logPath); }
    std::string Path() const { return PipePath(m_pipe); }
    // The exit code, or -1 when it has not ended in time.
    int Wait() { return m_process.Wait(kExitTimeout).value_or(-1); }
    void Stop() { m_stop.Set(); }

  private:
    txtest::TempDir m_folder;
    NamedEvent m_stop;
    const std::string m_pipe;
    const std::string m_logPath;
    txtest::ChildProcess m_process;
    ::testing::AssertionResult m_started = ::testing::AssertionFailure();
};

// The GAUGE lines of a log without their time stamps.
std::vector<std::string> GaugeLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.find("GAUGE: ");
        if (at != std::string::npos) lines.push_back(line.substr(at));
    }
    return lines;
}

TEST(GaugeStandin, LogsEveryCodeInOrderAndServesTheNextProgram) {
    Gauge gauge;
    ASSERT_TRUE(gauge.Ready());
    PipeWriter writer;
    ASSERT_EQ(writer.Open(gauge.Path()), 0u);
    for (int code : {7, 39, 254, 200, 68}) ASSERT_EQ(writer.Send(code), 0u) << code;
    writer.Close();
    ASSERT_TRUE(gauge.LogShows("GAUGE: program closed the connection"));

    // One program at a time, and the next one is taken once the first has gone.
    ASSERT_EQ(writer.OpenWaiting(gauge.Path(), 5000), 0u);
    ASSERT_EQ(writer.Send(0), 0u);
    ASSERT_EQ(writer.Send(255), 0u);
    ASSERT_TRUE(gauge.LogShows("MSG_PIPE_CLOSE"));
    writer.Close();

    gauge.Stop();
    EXPECT_EQ(gauge.Wait(), 0);
    const std::vector<std::string> expected = {
        "GAUGE: listening on " + gauge.Path(),
        "GAUGE: program connected (connection 1)",
        "GAUGE: code 7 (RSK 2)",
        "GAUGE: code 39 (A)",
        "GAUGE: code 254 (MSG_PIPE_DUMMY): flight-start probe acknowledged",
        "GAUGE: code 200 (no such key) ignored",
        "GAUGE: code 68 (CLR)",
        "GAUGE: program closed the connection",
        "GAUGE: program connected (connection 2)",
        "GAUGE: code 0 (LSK 1)",
        "GAUGE: code 255 (MSG_PIPE_CLOSE): connection dropped",
        "GAUGE: stopped"};
    EXPECT_EQ(GaugeLines(gauge.Log()), expected) << gauge.Log();
}

TEST(GaugeStandin, NoServerMeansFileNotFound) {
    PipeWriter writer;
    EXPECT_EQ(writer.Open(PipePath(UniqueName("nobody"))),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(GaugeStandin, SecondProgramFindsThePipeBusyUntilTheFirstGoes) {
    Gauge gauge;
    ASSERT_TRUE(gauge.Ready());
    PipeWriter first;
    ASSERT_EQ(first.Open(gauge.Path()), 0u);
    PipeWriter second;
    EXPECT_EQ(second.Open(gauge.Path()), static_cast<DWORD>(ERROR_PIPE_BUSY));
    EXPECT_FALSE(::WaitNamedPipeA(gauge.Path().c_str(), 200));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SEM_TIMEOUT));
    first.Close();
    EXPECT_EQ(second.OpenWaiting(gauge.Path(), 5000), 0u);
    EXPECT_EQ(second.Send(21), 0u);
    EXPECT_TRUE(gauge.LogShows("GAUGE: code 21 (INIT)"));
}

TEST(GaugeStandin, SecondGaugeLeavesTheFirstOnesPipeAlone) {
    Gauge gauge;
    ASSERT_TRUE(gauge.Ready());
    const std::string pipe = gauge.Path().substr(gauge.Path().find_last_of('\\') + 1);
    txtest::ChildProcess second;
    ASSERT_TRUE(Start(second, "gauge-standin", {"--pipe", pipe}));
    EXPECT_EQ(second.Wait(kExitTimeout), 1);
    EXPECT_NE(second.Stdout().find("another gauge serves"), std::string::npos) << second.Stdout();
    PipeWriter writer;
    ASSERT_EQ(writer.Open(gauge.Path()), 0u);
    EXPECT_EQ(writer.Send(22), 0u);
    EXPECT_TRUE(gauge.LogShows("GAUGE: code 22 (DATA)"));
}

TEST(GaugeStandin, DisconnectFaultGivesTheWriterPipeNotConnected) {
    Gauge gauge({"--disconnect-after", "2"});
    ASSERT_TRUE(gauge.Ready());
    PipeWriter writer;
    ASSERT_EQ(writer.Open(gauge.Path()), 0u);
    ASSERT_EQ(writer.Send(1), 0u);
    ASSERT_EQ(writer.Send(2), 0u);
    ASSERT_TRUE(gauge.LogShows("GAUGE: disconnected the program after 2 messages"));
    EXPECT_EQ(writer.Send(3), static_cast<DWORD>(ERROR_PIPE_NOT_CONNECTED));
    EXPECT_EQ(writer.Send(4), static_cast<DWORD>(ERROR_PIPE_NOT_CONNECTED));

    // A new handle reaches the gauge again, as the program's reconnection relies on.
    ASSERT_EQ(writer.OpenWaiting(gauge.Path(), 5000), 0u);
    EXPECT_EQ(writer.Send(5), 0u);
    EXPECT_TRUE(gauge.LogShows("GAUGE: code 5 (LSK 6)"));
    EXPECT_EQ(gauge.Log().find("code 3 "), std::string::npos) << gauge.Log();
}

TEST(GaugeStandin, ExitFaultGivesTheWriterNoDataAndThenNoPipe) {
    Gauge gauge({"--exit-after", "1"});
    ASSERT_TRUE(gauge.Ready());
    PipeWriter writer;
    ASSERT_EQ(writer.Open(gauge.Path()), 0u);
    ASSERT_EQ(writer.Send(14), 0u);
    ASSERT_EQ(gauge.Wait(), 0);
    EXPECT_EQ(writer.Send(15), static_cast<DWORD>(ERROR_NO_DATA));
    PipeWriter later;
    EXPECT_EQ(later.Open(gauge.Path()), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const std::vector<std::string> lines = GaugeLines(gauge.Log());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "GAUGE: code 14 (F-PLN)");
    EXPECT_EQ(lines.back(), "GAUGE: exiting after 1 messages, as asked");
}

TEST(GaugeStandin, StallFaultHoldsTheWriterUntilTheGaugeGoes) {
    Gauge gauge({"--stall-after", "1"});
    ASSERT_TRUE(gauge.Ready());
    PipeWriter writer;
    ASSERT_EQ(writer.Open(gauge.Path()), 0u);
    std::atomic<int> sent{0};
    std::atomic<DWORD> failure{0};
    // Far more than the pipe's buffer holds: the writer must come to a stop inside WriteFile.
    std::thread writing([&] {
        for (int i = 0; i < 20000; ++i) {
            const DWORD error = writer.Send(i % 69);
            if (error != 0) {
                failure = error;
                return;
            }
            ++sent;
        }
    });
    ASSERT_TRUE(gauge.LogShows("GAUGE: reading no more after 1 messages"));
    // Stuck: no write has come back for half a second, and none failed.
    bool stuck = false;
    for (int round = 0; round < 20 && !stuck && failure == 0; ++round) {
        const int before = sent;
        std::this_thread::sleep_for(500ms);
        stuck = sent == before && failure == 0;
    }
    const int blockedAt = sent;
    gauge.Stop();
    writing.join();
    EXPECT_TRUE(stuck) << "sent " << blockedAt << ", failure " << failure.load();
    EXPECT_LT(blockedAt, 20000);
    // The gauge's end went away under the waiting write.
    EXPECT_NE(failure.load(), 0u);
    EXPECT_EQ(gauge.Wait(), 0);
}

// The program's own pipe client against the gauge stand-in in another process.
class PipeClientLog {
  public:
    PipeClientLog() : m_path(m_folder.path() + "\\pipe.log") { m_log.Open(m_path); }
    logging::LogStream& Stream() { return m_log; }
    std::string Text() const { return txtest::ReadFile(m_path); }

  private:
    txtest::TempDir m_folder;
    const std::string m_path;
    logging::LogStream m_log;
};

TEST(GaugeStandinAndPipeClient, KeyAfterAGaugeDisconnectGoesOutOnANewConnection) {
    Gauge gauge({"--disconnect-after", "2"});
    ASSERT_TRUE(gauge.Ready());
    PipeClientLog log;
    mcdupipe::McduPipeClient client(gauge.Path(), log.Stream(), 2000ms);
    ASSERT_TRUE(client.ConnectMcduPipe()) << log.Text();
    EXPECT_TRUE(client.SendKey(21));
    EXPECT_TRUE(client.SendKey(39));
    ASSERT_TRUE(gauge.LogShows("GAUGE: disconnected the program after 2 messages"));

    // The write meets the disconnected pipe (233); the client opens it anew and sends the key
    // again.
    EXPECT_TRUE(client.SendKey(40)) << log.Text();
    EXPECT_TRUE(client.SendClose());
    ASSERT_TRUE(gauge.LogShows("MSG_PIPE_CLOSE"));
    EXPECT_EQ(txtest::CountLines(log.Text(), "PIPE: WriteFile failed w/err 0x000000e9."), 1)
        << log.Text();
    const std::vector<std::string> lines = GaugeLines(gauge.Log());
    const std::vector<std::string> expected = {
        "GAUGE: listening on " + gauge.Path(),
        "GAUGE: program connected (connection 1)",
        "GAUGE: code 21 (INIT)",
        "GAUGE: code 39 (A)",
        "GAUGE: disconnected the program after 2 messages, as asked",
        "GAUGE: program connected (connection 2)",
        "GAUGE: code 40 (B)",
        "GAUGE: code 255 (MSG_PIPE_CLOSE): connection dropped"};
    EXPECT_EQ(lines, expected) << gauge.Log();
}

TEST(GaugeStandinAndPipeClient, KeyAfterTheGaugeEndedFindsNoPipe) {
    Gauge gauge({"--exit-after", "1"});
    ASSERT_TRUE(gauge.Ready());
    PipeClientLog log;
    mcdupipe::McduPipeClient client(gauge.Path(), log.Stream(), 2000ms);
    ASSERT_TRUE(client.ConnectMcduPipe()) << log.Text();
    EXPECT_TRUE(client.SendKey(26));
    ASSERT_EQ(gauge.Wait(), 0);

    // 232 on the write; the reconnection finds no pipe at all (2) and the key is lost.
    EXPECT_FALSE(client.SendKey(27));
    EXPECT_FALSE(client.IsValid());
    const std::string text = log.Text();
    EXPECT_EQ(txtest::CountLines(text, "PIPE: WriteFile failed w/err 0x000000e8."), 1) << text;
    EXPECT_EQ(txtest::CountLines(
                  text, "PIPE: Unable to open named pipe " + gauge.Path() + " w/err 0x00000002"),
              1)
        << text;
}

// At most one FS98MAIN window in the prefix: the suites run one at a time.
HWND SimulatorWindow() {
    return ::FindWindowA("FS98MAIN", nullptr);
}

TEST(SimWindowStandin, WindowIsFoundOnlyWhileTheStandinRuns) {
    ASSERT_EQ(SimulatorWindow(), nullptr) << "another FS98MAIN window is up";
    NamedEvent stop;
    txtest::ChildProcess window;
    ASSERT_TRUE(Start(window, "simwindow-standin", {"--stop-event", stop.Name()}));
    ASSERT_TRUE(WaitUntil([] { return SimulatorWindow() != nullptr; }, kStartTimeout))
        << window.Stdout();
    EXPECT_TRUE(window.Running());
    stop.Set();
    EXPECT_EQ(window.Wait(kExitTimeout), 0);
    EXPECT_EQ(SimulatorWindow(), nullptr);
    EXPECT_NE(window.Stdout().find("SIMWINDOW: ended (stop event)"), std::string::npos)
        << window.Stdout();
}

TEST(SimWindowStandin, ClosingTheWindowEndsTheStandin) {
    ASSERT_EQ(SimulatorWindow(), nullptr) << "another FS98MAIN window is up";
    txtest::ChildProcess window;
    ASSERT_TRUE(Start(window, "simwindow-standin", {}));
    ASSERT_TRUE(WaitUntil([] { return SimulatorWindow() != nullptr; }, kStartTimeout))
        << window.Stdout();
    ASSERT_TRUE(::PostMessageA(SimulatorWindow(), WM_CLOSE, 0, 0));
    EXPECT_EQ(window.Wait(kExitTimeout), 0);
    EXPECT_EQ(SimulatorWindow(), nullptr);
}

TEST(SimWindowStandin, TimeLimitEndsItAndTakesTheWindowAlong) {
    ASSERT_EQ(SimulatorWindow(), nullptr) << "another FS98MAIN window is up";
    txtest::ChildProcess window;
    ASSERT_TRUE(Start(window, "simwindow-standin", {"--seconds", "1"}));
    ASSERT_TRUE(WaitUntil([] { return SimulatorWindow() != nullptr; }, kStartTimeout));
    EXPECT_EQ(window.Wait(kExitTimeout), 0);
    EXPECT_EQ(SimulatorWindow(), nullptr);
}

}  // namespace
