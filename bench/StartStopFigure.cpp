#include "bench/StartStopFigure.h"

#include <csignal>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/Browser.h"
#include "bench/ChildWatch.h"
#include "bench/Nginx.h"
#include "bench/ProgramUnderTest.h"
#include "bench/Stats.h"
#include "tests/support/GaugeEnd.h"
#include "tests/support/SimStandin.h"

namespace txbench {
namespace {

using namespace std::chrono_literals;

// Milliseconds, one per round.
struct Times {
    std::vector<double> serve, stopOffline, stopOnline, stopServing, peerServe, peerStop;
    int failures = 0;
};

// SIGTERM to the exit being reaped, into `into`; a process that outlasts 10 s is a failure.
void TimeStop(txtest::ChildProcess& process, std::vector<double>& into, int& failures) {
    const auto stop = Clock::now();
    process.Signal(SIGTERM);
    if (WaitForExit(process, 10s)) {
        into.push_back(MsSince(stop));
    } else {
        ++failures;
    }
}

void PeerRound(Times& times) {
    txtest::TempDir work;
    txtest::WriteFile(work.path() + "/index.html", "<html></html>");
    Nginx nginx;
    const auto start = Clock::now();
    if (!nginx.Start(work.path(), work.path() + "/nginx")) return;
    times.peerServe.push_back(MsSince(start));
    std::this_thread::sleep_for(200ms);
    int ignored = 0;
    TimeStop(nginx.process(), times.peerStop, ignored);
}

// False when the program did not start or answer: the round ends there.
bool OfflineRound(Times& times) {
    ProgramUnderTest program(Ini{});
    txtest::GaugeEnd gauge(program.PipePath());
    const std::optional<double> served = program.StartToFirstAnswer(10s);
    if (!served) {
        ++times.failures;
        return false;
    }
    times.serve.push_back(*served);
    std::this_thread::sleep_for(200ms);
    TimeStop(program.process(), times.stopOffline, times.failures);
    return true;
}

void OnlineRound(bool serving, Times& times) {
    ProgramUnderTest program(Ini{});
    txtest::GaugeEnd gauge(program.PipePath());
    txtest::SimStandin standin(program.sandbox(), program.simPort());
    if (!standin.Start({"--autostart"}) || !program.Start() || !program.WaitOnline(20s)) {
        ++times.failures;
        return;
    }
    std::this_thread::sleep_for(200ms);
    SocketHandle socket = platform::kInvalidSocket;
    if (serving) {
        socket = ConnectBrowser(program.port());
        SendText(socket, "GET /MCDU_main HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        std::this_thread::sleep_for(100ms);
    }
    TimeStop(program.process(), serving ? times.stopServing : times.stopOnline, times.failures);
    CloseBrowser(socket);
}

void AddRows(const Times& times, int rounds, Report& report) {
    const std::string note =
        times.failures != 0 ? " (" + std::to_string(times.failures) + " failed)" : "";
    const std::string n = " (median of " + std::to_string(rounds) + ")";
    const double s = Median(times.serve);
    const double ps = Median(times.peerServe);
    report.Add({"start to first answer" + n + note, Fixed(s, 1) + " ms",
                times.peerServe.empty() ? "" : Fixed(ps, 1) + " ms", Ratio(s, ps, 2), "< 100 ms",
                Met(s < 100 && times.failures == 0)});
    const double peer = Median(times.peerStop);
    const std::vector<std::pair<std::string, const std::vector<double>*>> stops = {
        {"offline", &times.stopOffline},
        {"online", &times.stopOnline},
        {"serving", &times.stopServing}};
    for (const auto& [state, values] : stops) {
        const double m = Median(*values);
        const double worst = Largest(*values);
        report.Add({"SIGTERM to exit, " + state + n,
                    Fixed(m, 1) + " ms (max " + Fixed(worst, 1) + ")",
                    times.peerStop.empty() ? "" : Fixed(peer, 1) + " ms (idle)", Ratio(m, peer, 1),
                    "< 30 ms", Met(worst < 30 && !values->empty())});
    }
}

}  // namespace

void StartStop(int rounds, Report& report) {
    Say("time to serve and to stop...");
    Times times;
    for (int round = 0; round < rounds; ++round) {
        PeerRound(times);
        if (!OfflineRound(times)) continue;
        for (const bool serving : {false, true}) OnlineRound(serving, times);
    }
    AddRows(times, rounds, report);
}

}  // namespace txbench
