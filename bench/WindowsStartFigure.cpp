#include "bench/WindowsStartFigure.h"

#include <csignal>
#include <optional>
#include <string>
#include <thread>

#include "bench/Browser.h"
#include "bench/ChildWatch.h"
#include "bench/ProgramUnderTest.h"
#include "bench/Stats.h"
#include "tests/support/GaugeEnd.h"

namespace txbench {
namespace {

using namespace std::chrono_literals;

// Start to first answer of the Windows program, which ends afterwards.
std::optional<double> WindowsStart(const WindowsRun& run) {
    txtest::ChildProcess program;
    const auto start = Clock::now();
    bool answered = false;
    if (run.Start(program, "TarvelXConnectExtended.exe", {}, run.www())) {
        while (!answered && MsSince(start) < 60000 && program.Running()) {
            answered = Fetch(run.port(), "/", 2s).ok;
            if (!answered) std::this_thread::sleep_for(200us);
        }
    }
    const double took = MsSince(start);
    WindowsRun::End(program);
    // The program's single-instance mutex and the pipe instance go with the process, inside the
    // wineserver: a moment for that before the next copy.
    std::this_thread::sleep_for(300ms);
    if (!answered) return std::nullopt;
    return took;
}

// wingauge.exe without its options prints its usage and ends.
std::optional<double> BareStart(const WindowsRun& run) {
    txtest::ChildProcess bare;
    const auto start = Clock::now();
    if (!run.Start(bare, "wingauge.exe", {}, run.work()) || !WaitForExit(bare, 30s))
        return std::nullopt;
    return MsSince(start);
}

std::optional<double> LinuxStart() {
    ProgramUnderTest program(Ini{});
    txtest::GaugeEnd gauge(program.PipePath());
    const std::optional<double> served = program.StartToFirstAnswer(10s);
    program.process().Signal(SIGTERM);
    WaitForExit(program.process(), 10s);
    return served;
}

}  // namespace

WindowsStarts TimeWindowsStarts(const WindowsRun& run, int rounds) {
    WindowsStarts starts;
    for (int round = -1; round < rounds; ++round) {
        const std::optional<double> windows = WindowsStart(run);
        if (round < 0) continue;
        if (windows) {
            starts.windows.push_back(*windows);
        } else {
            ++starts.failures;
        }
        if (const auto bare = BareStart(run)) starts.bareExe.push_back(*bare);
        if (const auto served = LinuxStart()) starts.linuxProgram.push_back(*served);
    }
    return starts;
}

void AddWindowsStartRows(const WindowsStarts& starts, Report& report) {
    const double s = Median(starts.windows), l = Median(starts.linuxProgram);
    const double worst = Largest(starts.windows);
    report.Add(
        {"start to first answer (median of " + std::to_string(starts.windows.size()) + ")" +
             (starts.failures != 0 ? " (" + std::to_string(starts.failures) + " failed)" : ""),
         Fixed(s, 1) + " ms (max " + Fixed(worst, 1) + ")", Fixed(l, 1) + " ms", Ratio(s, l, 1),
         "< 100 ms", Met(!starts.windows.empty() && s < 100 && starts.failures == 0)});
    report.Add({"a console exe doing nothing, launch to exit (median)",
                Fixed(Median(starts.bareExe), 1) + " ms", "", "", "", ""});
}

}  // namespace txbench
