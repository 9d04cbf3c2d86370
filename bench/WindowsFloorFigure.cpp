#include "bench/WindowsFloorFigure.h"

#include <string>
#include <vector>

#include "bench/TimedRequests.h"

namespace txbench {
namespace {

using namespace std::chrono_literals;

struct FloorTimes {
    std::vector<std::vector<double>> rounds;  // microseconds per press, one list per round
    int failures = 0;
};

FloorTimes TimeFloor(const WindowsRun& run, TimedGauge& gauge, int presses, int rounds) {
    FloorTimes times;
    const int port = txtest::FreeTcpPort();
    txtest::ChildProcess floor;
    if (run.Start(floor, "winfloor.exe", {"--port", std::to_string(port)}, run.work()) &&
        txtest::WaitUntil([&] { return floor.Stdout().find("ready") != std::string::npos; }, 30s)) {
        const auto deadline = Clock::now() + 120s;
        for (int round = 0; round < rounds && Clock::now() < deadline; ++round) {
            times.rounds.emplace_back();
            for (int i = 0; i < presses && Clock::now() < deadline; ++i) {
                if (const auto took = PressKey(port, KeyPath(i), gauge)) {
                    times.rounds.back().push_back(*took);
                } else {
                    ++times.failures;
                }
            }
        }
    }
    WindowsRun::End(floor);
    return times;
}

}  // namespace

void AddWindowsFloorRows(const WindowsRun& run, TimedGauge& gauge, int presses, int rounds,
                         const Spread& program, int programFailures, Report& report) {
    Say("Windows build: the least a program does per key...");
    const FloorTimes times = TimeFloor(run, gauge, presses, rounds);
    const Spread floor = RoundFigures(times.rounds);
    const std::string note =
        times.rounds.empty()
            ? "FAILED to start winfloor.exe"
            : (times.failures != 0 ? std::to_string(times.failures) + " failed, " : "");
    report.Add({"least program per key (winfloor.exe), median", note + Fixed(floor.p50, 3) + " ms",
                "", "", "", ""});
    report.Add({"least program per key, p99 (rounds' p99 " + Fixed(floor.low, 2) + ".." +
                    Fixed(floor.high, 2) + " ms)",
                Fixed(floor.p99, 3) + " ms", "", "", "", ""});
    const bool measured = !times.rounds.empty() && floor.p99 > 0;
    report.Add({"key press p99 / least program's p99 (Wine's goal)",
                measured ? Fixed(program.p99 / floor.p99, 2) + " x" : "no floor measured", "", "",
                "<= 2 x", Met(measured && program.p99 <= 2 * floor.p99 && programFailures == 0)});
}

}  // namespace txbench
