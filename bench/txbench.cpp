// Benchmark driver: runs the program (and nginx as its peer) as child processes on the loopback
// interface, plays the browser and the MCDU gauge itself, and prints one table. Each figure lives
// in a file of its own (bench/*Figure.cpp); this file picks them by the command line.
//
// Every request loop is bounded both in count and in time, and all traffic stays on 127.0.0.1.

#include <chrono>
#include <csignal>

#include "bench/IdleFigure.h"
#include "bench/KeyFigure.h"
#include "bench/MemoryFigure.h"
#include "bench/Options.h"
#include "bench/RateFigure.h"
#include "bench/Report.h"
#include "bench/SimLinkFigure.h"
#include "bench/StartStopFigure.h"
#include "bench/WaitingFigure.h"
#include "bench/WindowsFigures.h"

int main(int argc, char** argv) {
    using namespace txbench;
    using namespace std::chrono_literals;
    const Options options = ReadOptions(argc, argv);
    const bool quick = options.quick;
    // A server that drops a connection must not end the driver; the children inherit it too.
    std::signal(SIGPIPE, SIG_IGN);
    Report report;
    if (options.Wanted("keys")) KeyPressLatency(2000, quick ? 2 : 5, report);
    if (options.Wanted("rates")) RequestRates(quick ? 200 : 1000, 5, report);
    if (options.Wanted("waiting")) BesideWaiting(quick ? 100 : 200, quick ? 3 : 10, report);
    if (options.Wanted("memory")) Memory(10000, quick ? 20000 : 50000, report);
    if (options.Wanted("startstop")) StartStop(quick ? 3 : 5, report);
    if (options.Wanted("simlink")) SimLink(quick ? 3 : 5, 20, report);
    if (options.Wanted("idle")) IdleCost(quick ? 5s : 30s, report);
    if (!options.windowsBin.empty() && options.Wanted("windows")) {
        const WindowsSizes sizes{quick ? 300 : 2000, quick ? 2 : 5, quick ? 100 : 500,
                                 quick ? 3 : 5};
        WindowsBuild(options, sizes, report);
    }
    report.Print();
    return 0;
}
