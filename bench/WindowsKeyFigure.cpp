#include "bench/WindowsKeyFigure.h"

#include <string>

#include "bench/TimedRequests.h"

namespace txbench {
namespace {

using namespace std::chrono_literals;

void Press(int port, const std::string& path, TimedGauge& gauge, std::vector<double>& into,
           int& failures) {
    if (const auto took = PressKey(port, path, gauge)) {
        into.push_back(*took);
    } else {
        ++failures;
    }
}

void Answer(int port, const std::string& path, TimedGauge* gauge, std::vector<double>& into) {
    if (const auto took = FirstAnswerByte(port, path, gauge)) into.push_back(*took);
}

// wingauge.exe echoes what comes on its connection; half a round trip is the estimate of what
// passing a key on from the pipe to this process adds.
void TimeHop(TimedGauge& gauge, int count, Clock::time_point until, std::vector<double>& hop) {
    gauge.Drain();
    for (int i = 0; i < count && Clock::now() < until; ++i) {
        const auto sent = Clock::now();
        if (!gauge.Send("e")) break;
        const auto back = gauge.Receive(1, 2s);
        if (!back) break;
        hop.push_back(MicrosSince(sent, *back) / 2.0);
    }
}

}  // namespace

WindowsKeyTimes TimeWindowsKeys(int windowsPort, TimedGauge& gauge, int linuxPort,
                                TimedGauge& linuxGauge, int presses, int rounds) {
    WindowsKeyTimes times;
    const auto deadline = Clock::now() + 180s;
    for (int round = 0; round < rounds && Clock::now() < deadline; ++round) {
        times.windows.emplace_back();
        times.linuxProgram.emplace_back();
        for (int i = 0; i < presses && Clock::now() < deadline; ++i) {
            const std::string path = KeyPath(i);
            Press(windowsPort, path, gauge, times.windows.back(), times.windowsFailures);
            Press(linuxPort, path, linuxGauge, times.linuxProgram.back(), times.linuxFailures);
            if (i % 4 != 0) continue;  // a quarter of the presses is enough for these
            Answer(windowsPort, path, &gauge, times.windowsAnswer[0]);
            Answer(linuxPort, path, &linuxGauge, times.linuxAnswer[0]);
            Answer(windowsPort, "/MCDU_main", nullptr, times.windowsAnswer[1]);
            Answer(linuxPort, "/MCDU_main", nullptr, times.linuxAnswer[1]);
        }
    }
    TimeHop(gauge, presses, deadline + 30s, times.hop);
    return times;
}

Spread AddWindowsKeyRows(const WindowsKeyTimes& times, int presses, Report& report) {
    const Spread win = RoundFigures(times.windows), lin = RoundFigures(times.linuxProgram);
    const std::string count =
        std::to_string(times.windows.size()) + " x " + std::to_string(presses) + " keys" +
        (times.windowsFailures != 0 ? ", " + std::to_string(times.windowsFailures) + " failed"
                                    : "") +
        (times.linuxFailures != 0 ? ", Linux " + std::to_string(times.linuxFailures) + " failed"
                                  : "");
    report.Add({"key press to gauge, median (" + count + ")", Fixed(win.p50, 3) + " ms",
                Fixed(lin.p50, 3) + " ms", Ratio(win.p50, lin.p50, 1), "", ""});
    report.Add({"key press to gauge, p99 (rounds' p99 " + Fixed(win.low, 2) + ".." +
                    Fixed(win.high, 2) + " ms)",
                Fixed(win.p99, 3) + " ms", Fixed(lin.p99, 3) + " ms", Ratio(win.p99, lin.p99, 1),
                "< 1 ms on a PC", ""});
    const char* answerLabels[2] = {"key's HTTP answer, first byte, median / p99",
                                   "\"/MCDU_main\" (no pipe), first byte, median / p99"};
    for (int which = 0; which < 2; ++which) {
        const std::vector<double>& w = times.windowsAnswer[which];
        const std::vector<double>& l = times.linuxAnswer[which];
        const double a = Median(w) / 1000.0, b = Median(l) / 1000.0;
        const double a99 = Percentile(w, 0.99) / 1000.0, b99 = Percentile(l, 0.99) / 1000.0;
        report.Add({answerLabels[which], Fixed(a, 3) + " / " + Fixed(a99, 3) + " ms",
                    Fixed(b, 3) + " / " + Fixed(b99, 3) + " ms", Ratio(a, b, 1), "", ""});
    }
    report.Add({"wingauge.exe -> driver hop, median (half an echo)",
                Fixed(Median(times.hop) / 1000.0, 3) + " ms", "", "", "", ""});
    report.Add({"wingauge.exe -> driver hop, p99",
                Fixed(Percentile(times.hop, 0.99) / 1000.0, 3) + " ms", "", "", "", ""});
    return win;
}

}  // namespace txbench
