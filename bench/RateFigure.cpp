#include "bench/RateFigure.h"

#include <string>
#include <vector>

#include "bench/Browser.h"
#include "bench/Nginx.h"
#include "bench/ProgramUnderTest.h"
#include "bench/Stats.h"
#include "bench/TimedRequests.h"
#include "tests/support/GaugeEnd.h"
#include "tests/support/SimStandin.h"

namespace txbench {
namespace {

using namespace std::chrono_literals;

struct Target {
    std::string label;
    std::string path;
    size_t size;
    bool variable;  // the status page's numbers change with the flight
};

std::string RateText(double rate, int bad) {
    return Fixed(rate, 0) + " req/s" + (bad != 0 ? " (" + std::to_string(bad) + " bad)" : "");
}

void RateRow(const Target& target, int ourPort, int theirPort, int perBatch, int rounds,
             Report& report) {
    std::vector<double> ours, theirs;
    int ourFailures = 0, theirFailures = 0;
    // The status page's length varies with the values shown: only its status counts.
    const size_t expected = target.variable ? kAnySize : target.size;
    for (int round = 0; round < rounds; ++round) {
        ours.push_back(Rate(ourPort, target.path, perBatch, expected, &ourFailures));
        theirs.push_back(Rate(theirPort, target.path, perBatch, target.size, &theirFailures));
    }
    const double a = Median(ours), b = Median(theirs);
    report.Add({"rate " + target.label, RateText(a, ourFailures), RateText(b, theirFailures),
                Fixed(a / b, 2) + " x", ">= 1.0 x", Met(a / b >= 1.0)});
}

}  // namespace

void RequestRates(int perBatch, int rounds, Report& report) {
    Say("sequential request rates against nginx...");
    ProgramUnderTest program(Ini{});
    WriteDisplayPicture(program.sandbox().settings());
    txtest::GaugeEnd gauge(program.PipePath());
    txtest::SimStandin standin(program.sandbox(), program.simPort());
    if (!standin.Start({"--autostart"}) || !program.Start() || !program.WaitOnline(20s)) {
        report.Failed("request rate", "FAILED to set up");
        return;
    }
    const std::string root = program.sandbox().settings();
    const std::string status = Fetch(program.port(), "/").body;
    const std::string mcdu = Fetch(program.port(), "/MCDU_main").body;
    txtest::WriteFile(root + "index.html", status);
    txtest::WriteFile(root + "MCDU_main", mcdu);
    Nginx nginx;
    if (!nginx.Start(root.substr(0, root.size() - 1), program.sandbox().home() + "/nginx")) {
        report.Failed("request rate", "FAILED to start nginx");
        return;
    }
    const std::vector<Target> targets = {
        {"\"/\" (status page)", "/", status.size(), true},
        {"\"/MCDU_main\"", "/MCDU_main", mcdu.size(), false},
        {"\"/MCDU_Dspl.png\" (20 KB)", "/MCDU_Dspl.png", 20480, false}};
    for (const Target& target : targets)
        RateRow(target, program.port(), nginx.port(), perBatch, rounds, report);
}

}  // namespace txbench
