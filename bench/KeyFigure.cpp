#include "bench/KeyFigure.h"

#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "bench/Browser.h"
#include "bench/Nginx.h"
#include "bench/ProgramUnderTest.h"
#include "bench/Stats.h"
#include "bench/TimedRequests.h"
#include "tests/support/SimStandin.h"

namespace txbench {
namespace {

using namespace std::chrono_literals;

// Microseconds per press, one list per round, for the program and for nginx.
struct KeyRounds {
    std::vector<std::vector<double>> ours, theirs;
    int failures = 0;
};

// The peer serves what the program answers a key with, from files of the keys' names.
void WriteKeyPages(ProgramUnderTest& program, const std::string& root) {
    std::filesystem::create_directories(root);
    for (int key = 12; key < 22; ++key) {
        txtest::WriteFile(root + "/MCDU_KB_" + std::to_string(key),
                          Fetch(program.port(), "/MCDU_KB_" + std::to_string(key)).body);
    }
}

// Interleaved with the key presses, so that both see the same machine.
KeyRounds PressRounds(int port, TimedGauge& gauge, const Nginx* peer, int presses, int rounds) {
    KeyRounds result;
    const auto deadline = Clock::now() + 120s;
    for (int round = 0; round < rounds && Clock::now() < deadline; ++round) {
        result.ours.emplace_back();
        result.theirs.emplace_back();
        for (int i = 0; i < presses && Clock::now() < deadline; ++i) {
            const std::string path = KeyPath(i);
            const std::optional<double> took = PressKey(port, path, gauge);
            if (!took) {
                ++result.failures;
                continue;
            }
            result.ours.back().push_back(*took);
            if (peer == nullptr) continue;
            if (const auto peerTook = FirstAnswerByte(peer->port(), path, nullptr))
                result.theirs.back().push_back(*peerTook);
        }
    }
    return result;
}

void AddKeyRows(const KeyRounds& rounds, int presses, bool withPeer, Report& report) {
    // Medians over the rounds, so one burst of load elsewhere moves one round only.
    const Spread ours = RoundFigures(rounds.ours), theirs = RoundFigures(rounds.theirs);
    const std::string spread =
        "rounds' p99 " + Fixed(ours.low, 2) + ".." + Fixed(ours.high, 2) + " ms";
    std::fprintf(stderr, "  key press p99 per round: %s\n", spread.c_str());
    const std::string count =
        std::to_string(rounds.ours.size()) + " x " + std::to_string(presses) + " keys" +
        (rounds.failures != 0 ? ", " + std::to_string(rounds.failures) + " failed" : "");
    report.Add({"key press to gauge, median (" + count + ")", Fixed(ours.p50, 3) + " ms",
                withPeer ? Fixed(theirs.p50, 3) + " ms" : "", Ratio(ours.p50, theirs.p50, 2), "",
                ""});
    report.Add({"key press to gauge, p99 (" + spread + ")", Fixed(ours.p99, 3) + " ms",
                withPeer ? Fixed(theirs.p99, 3) + " ms" : "", Ratio(ours.p99, theirs.p99, 2),
                "< 1 ms", Met(ours.p99 < 1.0 && rounds.failures == 0)});
}

}  // namespace

void KeyPressLatency(int presses, int rounds, Report& report) {
    Say("key press latency...");
    ProgramUnderTest program(Ini{});
    TimedGauge gauge(program.PipePath());
    txtest::SimStandin standin(program.sandbox(), program.simPort());
    if (!gauge.Listening() || !standin.Start({"--autostart"}) || !program.Start() ||
        !gauge.Accept(10s) || !program.WaitOnline(20s)) {
        report.Failed("key press latency", "FAILED to set up");
        return;
    }
    const std::string root = program.sandbox().home() + "/www";
    WriteKeyPages(program, root);
    Nginx nginx;
    const bool withPeer = nginx.Start(root, program.sandbox().home() + "/nginx");
    std::this_thread::sleep_for(300ms);
    gauge.Drain();
    const KeyRounds result =
        PressRounds(program.port(), gauge, withPeer ? &nginx : nullptr, presses, rounds);
    AddKeyRows(result, presses, withPeer, report);
}

}  // namespace txbench
