#include "bench/WindowsFigures.h"

#include <string>
#include <thread>

#include "bench/Browser.h"
#include "bench/ProgramUnderTest.h"
#include "bench/TimedGauge.h"
#include "bench/WindowsFloorFigure.h"
#include "bench/WindowsKeyFigure.h"
#include "bench/WindowsRateFigure.h"
#include "bench/WindowsRun.h"
#include "bench/WindowsStartFigure.h"
#include "tests/support/SimStandin.h"

namespace txbench {
namespace {

using namespace std::chrono_literals;

// wingauge.exe serves the gauge's named pipe and connects to `gauge`, saying 'R' once the pipe is
// there.
bool StartWinGauge(const WindowsRun& run, txtest::ChildProcess& wingauge, TimedGauge& gauge,
                   int gaugePort) {
    return gauge.Listening() &&
           run.Start(wingauge, "wingauge.exe", {"--port", std::to_string(gaugePort)}, run.work()) &&
           gauge.Accept(60s) && gauge.Receive(1, 30s);
}

// The Windows program online, behind the simulator's window as on a PC, with a simulator
// stand-in of its own.
struct WindowsOnline {
    txtest::ChildProcess simWindow;
    txtest::Sandbox standinBox;
    txtest::SimStandin standin;
    txtest::ChildProcess program;

    explicit WindowsOnline(int simPort) : standin(standinBox, simPort) {}
    bool Start(const WindowsRun& run);
};

bool WindowsOnline::Start(const WindowsRun& run) {
    txtest::WriteFile(run.settings() + "SimConnect.cfg",
                      txtest::SimConnectConfigText(run.simPort()));
    const bool windowUp =
        run.Start(simWindow, "simwindow-standin.exe", {"--seconds", "3600"}, run.work()) &&
        txtest::WaitUntil(
            [&] { return simWindow.Stdout().find("SIMWINDOW: window up") != std::string::npos; },
            60s);
    const auto online = [&] {
        const Response r = Fetch(run.port(), "/", 2s);
        return r.ok && r.body.find("FSX is offline") == std::string::npos;
    };
    return windowUp && standin.Start({"--autostart"}) &&
           run.Start(program, "TarvelXConnectExtended.exe", {}, run.www()) &&
           txtest::WaitUntil(online, 60s);
}

// The Linux program beside it, online too, with its own gauge end and stand-in.
struct LinuxBeside {
    ProgramUnderTest program{Ini{}};
    TimedGauge gauge{program.PipePath()};
    txtest::SimStandin standin{program.sandbox(), program.simPort()};

    bool Start() {
        WriteDisplayPicture(program.sandbox().settings());
        return standin.Start({"--autostart"}) && program.Start() && gauge.Accept(10s) &&
               program.WaitOnline(20s);
    }
};

}  // namespace

void WindowsBuild(const Options& options, const WindowsSizes& sizes, Report& report) {
    report.BeginWindowsTable();
    WindowsRun run(options);
    if (!run.Ready()) {
        report.Failed("Windows build", "SKIPPED: no Wine prefix (bench/run.sh makes one)");
        return;
    }
    run.PrepareSettings();
    int gaugePort = 0;
    TimedGauge gauge(&gaugePort);
    txtest::ChildProcess wingauge;
    if (!StartWinGauge(run, wingauge, gauge, gaugePort)) {
        report.Failed("Windows build", "FAILED to start wingauge.exe");
        return;
    }
    Say("Windows build: start to first answer...");
    const WindowsStarts starts = TimeWindowsStarts(run, sizes.startRounds);

    Say("Windows build: key presses and request rates...");
    WindowsOnline windows(run.simPort());
    if (!windows.Start(run)) {
        report.Failed("Windows build, online", "FAILED to set up");
        return;
    }
    LinuxBeside beside;
    if (!beside.Start()) {
        report.Failed("Linux program beside the Windows build", "FAILED to set up");
        return;
    }
    std::this_thread::sleep_for(300ms);
    const int linuxPort = beside.program.port();
    const WindowsKeyTimes keys =
        TimeWindowsKeys(run.port(), gauge, linuxPort, beside.gauge, sizes.presses, sizes.rounds);
    const Spread win = AddWindowsKeyRows(keys, sizes.presses, report);
    AddWindowsRateRows(run.port(), gauge, linuxPort, beside.gauge, sizes.perBatch, report);
    WindowsRun::End(windows.program);

    AddWindowsFloorRows(run, gauge, sizes.presses, sizes.rounds, win, keys.windowsFailures, report);
    AddWindowsStartRows(starts, report);
    run.RemoveSettings();
}

}  // namespace txbench
