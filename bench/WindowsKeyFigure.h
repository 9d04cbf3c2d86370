#pragma once
// The Windows build's key presses, the Windows and the Linux program alternating press by press,
// each to its own gauge end (the Windows one through wingauge.exe); beside them, for where the
// time goes, the first byte of the key's answer and of a page that needs no pipe; and the extra
// hop from wingauge.exe to the driver, as half an echo.

#include <vector>

#include "bench/Report.h"
#include "bench/Stats.h"
#include "bench/TimedGauge.h"

namespace txbench {

struct WindowsKeyTimes {
    // Microseconds per press, one list per round.
    std::vector<std::vector<double>> windows, linuxProgram;
    // First bytes in microseconds: [0] the key's answer, [1] "/MCDU_main".
    std::vector<double> windowsAnswer[2], linuxAnswer[2];
    std::vector<double> hop;
    int windowsFailures = 0, linuxFailures = 0;
};

// `rounds` rounds of `presses` presses to each program (bounded to 180 s), then the hop.
WindowsKeyTimes TimeWindowsKeys(int windowsPort, TimedGauge& gauge, int linuxPort,
                                TimedGauge& linuxGauge, int presses, int rounds);
// The rows; the Windows program's figures come back for the comparison with the least program.
Spread AddWindowsKeyRows(const WindowsKeyTimes& times, int presses, Report& report);

}  // namespace txbench
