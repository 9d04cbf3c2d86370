#pragma once
// The Windows build's start: from launching the program under Wine to its first answer to "/"
// (offline), a fresh copy each round, one copy at a time (the program allows no second); the Linux
// program's start in the same round; and Wine's own share, a console program that does nothing
// from its launch to its exit.

#include <vector>

#include "bench/Report.h"
#include "bench/WindowsRun.h"

namespace txbench {

// Milliseconds, one per round.
struct WindowsStarts {
    std::vector<double> windows, linuxProgram, bareExe;
    int failures = 0;  // Windows starts without an answer
};

// The first start in a new prefix loads and caches much of Wine: it is run once before the
// rounds and not counted.
WindowsStarts TimeWindowsStarts(const WindowsRun& run, int rounds);
void AddWindowsStartRows(const WindowsStarts& starts, Report& report);

}  // namespace txbench
