#include "bench/WindowsRateFigure.h"

#include <string>
#include <vector>

#include "bench/Stats.h"
#include "bench/TimedRequests.h"

namespace txbench {
namespace {

std::string RateText(double rate, int bad) {
    return Fixed(rate, 0) + " req/s" + (bad != 0 ? " (" + std::to_string(bad) + " bad)" : "");
}

}  // namespace

void AddWindowsRateRows(int windowsPort, TimedGauge& gauge, int linuxPort, TimedGauge& linuxGauge,
                        int perBatch, Report& report) {
    struct Target {
        std::string label;
        std::string path;
        size_t size;
    };
    const std::vector<Target> targets = {{"\"/\" (status page)", "/", kAnySize},
                                         {"\"/MCDU_main\"", "/MCDU_main", kAnySize},
                                         {"\"/MCDU_Dspl.png\" (20 KB)", "/MCDU_Dspl.png", 20480}};
    for (const Target& target : targets) {
        std::vector<double> winRates, linuxRates;
        int winBad = 0, linuxBad = 0;
        for (int round = 0; round < 5; ++round) {
            winRates.push_back(Rate(windowsPort, target.path, perBatch, target.size, &winBad));
            linuxRates.push_back(Rate(linuxPort, target.path, perBatch, target.size, &linuxBad));
            gauge.Drain();
            linuxGauge.Drain();
        }
        const double a = Median(winRates), b = Median(linuxRates);
        report.Add({"rate " + target.label, RateText(a, winBad), RateText(b, linuxBad),
                    Ratio(a, b, 2), "", ""});
    }
}

}  // namespace txbench
