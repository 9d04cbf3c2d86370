#include "bench/WaitingFigure.h"

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/Browser.h"
#include "bench/Nginx.h"
#include "bench/ProgramUnderTest.h"
#include "bench/Stats.h"
#include "bench/WaitingCrowd.h"
#include "tests/support/GaugeEnd.h"

namespace txbench {
namespace {

using namespace std::chrono_literals;

const char kFigure[] = "\"/\" beside 8 silent + 1 trickling";

// Milliseconds per request to one server, `requests` of them, with a fresh crowd against it.
void TimeBesideCrowd(int port, int requests, std::vector<double>& into, int& failures) {
    WaitingCrowd crowd(port);
    std::this_thread::sleep_for(50ms);
    for (int i = 0; i < requests; ++i) {
        const auto asked = Clock::now();
        if (Fetch(port, "/", 5s).ok) {
            into.push_back(MsSince(asked));
        } else {
            ++failures;
        }
    }
}

}  // namespace

void BesideWaiting(int requests, int rounds, Report& report) {
    Say("a plain request beside silent and trickling connections...");
    ProgramUnderTest program(Ini{});
    txtest::GaugeEnd gauge(program.PipePath());
    if (!program.Start() || !program.WaitServing(20s)) {
        report.Failed(kFigure, "FAILED to set up");
        return;
    }
    const std::string root = program.sandbox().home() + "/www";
    std::filesystem::create_directories(root);
    txtest::WriteFile(root + "/index.html", Fetch(program.port(), "/").body);
    Nginx nginx;
    const bool withPeer = nginx.Start(root, program.sandbox().home() + "/nginx");
    // Rounds short enough that the program's 5 s bound never lets the crowd go mid-round;
    // alternating, so that whatever else the machine does falls on both alike.
    std::vector<double> ours, theirs;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        TimeBesideCrowd(program.port(), requests, ours, failures);
        if (withPeer) TimeBesideCrowd(nginx.port(), requests, theirs, failures);
    }
    const double p50 = Median(ours), p99 = Percentile(ours, 0.99);
    const double peer50 = Median(theirs), peer99 = Percentile(theirs, 0.99);
    const std::string note = failures != 0 ? ", " + std::to_string(failures) + " failed" : "";
    report.Add({std::string(kFigure) + ", median" + note, Fixed(p50, 3) + " ms",
                withPeer ? Fixed(peer50, 3) + " ms" : "", Ratio(p50, peer50, 2), "", ""});
    report.Add({std::string(kFigure) + ", p99", Fixed(p99, 3) + " ms",
                withPeer ? Fixed(peer99, 3) + " ms" : "", Ratio(p99, peer99, 2), "< 2 x, < 5 ms",
                Met(failures == 0 && p99 < 5.0 && (!withPeer || p99 < 2 * peer99))});
}

}  // namespace txbench
