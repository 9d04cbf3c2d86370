#include "bench/IdleFigure.h"

#include <string>
#include <thread>

#include "bench/ChildWatch.h"
#include "bench/ProgramUnderTest.h"
#include "bench/Stats.h"
#include "tests/support/GaugeEnd.h"
#include "tests/support/SimStandin.h"

namespace txbench {
namespace {

using namespace std::chrono_literals;

// After a second to settle, the share of a processor the process used over `window`, in percent.
double IdleShare(int pid, std::chrono::seconds window) {
    std::this_thread::sleep_for(1s);
    const long long before = CpuTicks(pid);
    const auto start = Clock::now();
    std::this_thread::sleep_for(window);
    const long long after = CpuTicks(pid);
    const double seconds = MsSince(start) / 1000.0;
    return 100.0 * static_cast<double>(after - before) / static_cast<double>(TicksPerSecond()) /
           seconds;
}

void Offline(std::chrono::seconds window, Report& report) {
    ProgramUnderTest program(Ini{});
    txtest::GaugeEnd gauge(program.PipePath());
    if (!program.Start() || !program.WaitServing(20s)) {
        report.Failed("idle CPU, offline", "FAILED to set up");
        return;
    }
    const double share = IdleShare(program.process().pid(), window);
    report.Add({"idle CPU offline (" + std::to_string(window.count()) + " s)",
                Fixed(share, 3) + " % core", "", "", "< 0.5 %", Met(share < 0.5)});
}

void Online(std::chrono::seconds window, Report& report) {
    ProgramUnderTest program(Ini{});
    txtest::GaugeEnd gauge(program.PipePath());
    txtest::SimStandin standin(program.sandbox(), program.simPort());
    if (!standin.Start({"--autostart"}) || !program.Start() || !program.WaitOnline(20s) ||
        !standin.WaitForOutput("REQUEST_DATA_ON_SIM_OBJECT", 10s)) {
        report.Failed("idle CPU, online", "FAILED to set up");
        return;
    }
    const double share = IdleShare(program.process().pid(), window);
    report.Add({"idle CPU online, data every 1 s (" + std::to_string(window.count()) + " s)",
                Fixed(share, 3) + " % core", "", "", "< 1 %", Met(share < 1.0)});
}

}  // namespace

void IdleCost(std::chrono::seconds window, Report& report) {
    Say("idle cost, offline...");
    Offline(window, report);
    Say("idle cost, online...");
    Online(window, report);
}

}  // namespace txbench
