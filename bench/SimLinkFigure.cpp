#include "bench/SimLinkFigure.h"

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/Browser.h"
#include "bench/ProgramUnderTest.h"
#include "bench/Stats.h"
#include "tests/support/GaugeEnd.h"
#include "tests/support/SimStandin.h"

namespace txbench {
namespace {

using namespace std::chrono_literals;

// Polls `seen` every `every` for at most `limitMs`: the milliseconds from `start` when it held.
template <typename Seen>
std::optional<double> TimeUntil(Clock::time_point start, double limitMs,
                                std::chrono::microseconds every, Seen seen) {
    while (MsSince(start) < limitMs) {
        if (seen()) return MsSince(start);
        std::this_thread::sleep_for(every);
    }
    return std::nullopt;
}

// Milliseconds from the stand-in's start to the program's log saying it is online.
std::optional<double> TimeToOnline(std::mt19937& random) {
    Ini ini;
    ini.logging = 1;
    ProgramUnderTest program(ini);
    txtest::GaugeEnd gauge(program.PipePath());
    if (!program.Start() || !program.WaitServing(20s)) return std::nullopt;
    // A varying offset against the program's 1 s presence timer.
    std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 1000));
    txtest::SimStandin standin(program.sandbox(), program.simPort());
    const auto start = Clock::now();
    if (!standin.Start()) return std::nullopt;
    return TimeUntil(start, 5000, 200us,
                     [&] { return program.Log().find("FSX online.") != std::string::npos; });
}

// Milliseconds from each pause or resume request to the stand-in's event line.
std::vector<double> TimePauses(int pauses) {
    std::vector<double> times;
    ProgramUnderTest program(Ini{});
    txtest::GaugeEnd gauge(program.PipePath());
    txtest::SimStandin standin(program.sandbox(), program.simPort());
    if (!standin.Start({"--autostart"}) || !program.Start() || !program.WaitOnline(20s) ||
        !standin.WaitForOutput("SUBSCRIBE_TO_SYSTEM_EVENT", 5s)) {
        return times;
    }
    std::this_thread::sleep_for(300ms);
    const auto events = [&] {
        return txtest::CountLines(standin.Output(), "TRANSMIT_CLIENT_EVENT");
    };
    for (int i = 0; i < pauses; ++i) {
        const int before = events();
        const auto start = Clock::now();
        if (!Fetch(program.port(), i % 2 == 0 ? "/pause" : "/resume", 2s).ok) continue;
        if (const auto took = TimeUntil(start, 2000, 100us, [&] { return events() > before; }))
            times.push_back(*took);
    }
    return times;
}

}  // namespace

void SimLink(int rounds, int pauses, Report& report) {
    Say("simulator link...");
    std::vector<double> online;
    std::mt19937 random(6);
    for (int round = 0; round < rounds; ++round) {
        if (const auto took = TimeToOnline(random)) online.push_back(*took);
    }
    const double worst = Largest(online);
    report.Add(
        {"stand-in start to \"FSX online.\" (median of " + std::to_string(online.size()) + ")",
         Fixed(Median(online), 0) + " ms (max " + Fixed(worst, 0) + ")", "", "", "<= 1 s timer",
         Met(!online.empty() && worst < 1100)});
    const std::vector<double> pause = TimePauses(pauses);
    report.Add({"\"/pause\" to stand-in event (median of " + std::to_string(pause.size()) + ")",
                Fixed(Median(pause), 2) + " ms (max " + Fixed(Largest(pause), 2) + ")", "", "", "",
                ""});
}

}  // namespace txbench
