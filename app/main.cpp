// The program: its main window, run until it ends, with termination requests turned into a close
// of that window so that shutdown runs in its order. Every thread is joined before main returns.

#include "app/TarvelXConnectDlg.h"
#include "platform/SignalWatcher.h"

int main() {
    // Before any thread exists, so that only the watcher ever receives termination signals.
    platform::SignalWatcher::BlockTerminationSignals();
    app::CTarvelXConnectDlg dlg;
    // SIGINT and SIGTERM close the window, so shutdown runs in its order and the log ends. The
    // watcher goes before the window object: it is stopped and joined by its destructor.
    platform::SignalWatcher signals;
    signals.Start([&dlg](int) { dlg.RequestClose(); });
    dlg.DoModal();
    signals.Stop();
    return 0;
}
