#include "bench/MemoryFigure.h"

#include <string>
#include <vector>

#include "bench/Browser.h"
#include "bench/ChildWatch.h"
#include "bench/ProgramUnderTest.h"
#include "bench/Stats.h"
#include "bench/TimedGauge.h"
#include "tests/support/SimStandin.h"

namespace txbench {

using namespace std::chrono_literals;

void Memory(int first, int total, Report& report) {
    Say("memory under mixed requests...");
    ProgramUnderTest program(Ini{});
    WriteDisplayPicture(program.sandbox().settings());
    TimedGauge gauge(program.PipePath());
    txtest::SimStandin standin(program.sandbox(), program.simPort());
    if (!gauge.Listening() || !standin.Start({"--autostart"}) || !program.Start() ||
        !gauge.Accept(10s) || !program.WaitOnline(20s)) {
        report.Failed("memory", "FAILED to set up");
        return;
    }
    const int pid = program.process().pid();
    const std::vector<std::string> mix = {"/",           "/MCDU_main",    "/MCDU_Dspl.png", "/MCDU",
                                          "/MCDU_KB_20", "/nothing.html", "/missing.jpg"};
    long hwmFirst = 0, rssFirst = 0;
    int failures = 0, done = 0;
    const auto deadline = Clock::now() + 120s;
    for (; done < total && Clock::now() < deadline; ++done) {
        const std::string& path = mix[static_cast<size_t>(done) % mix.size()];
        if (Fetch(program.port(), path, 5s).status.empty()) ++failures;
        gauge.Drain();
        if (done + 1 == first) {
            hwmFirst = StatusKb(pid, "VmHWM");
            rssFirst = StatusKb(pid, "VmRSS");
        }
    }
    const long hwmLast = StatusKb(pid, "VmHWM");
    const long rssLast = StatusKb(pid, "VmRSS");
    const std::string note = failures != 0 ? " (" + std::to_string(failures) + " failed)" : "";
    report.Add({"peak RSS after " + std::to_string(first) + " requests" + note,
                Fixed(hwmFirst / 1024.0, 1) + " MB", "", "", "< 30 MB", Met(hwmFirst < 30 * 1024)});
    report.Add({"RSS growth " + std::to_string(first) + " -> " + std::to_string(done),
                std::to_string(rssLast - rssFirst) + " kB (peak " +
                    std::to_string(hwmLast - hwmFirst) + " kB)",
                "", "", "none", Met(hwmLast - hwmFirst <= 0 && done == total)});
}

}  // namespace txbench
