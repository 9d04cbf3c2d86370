#include "app/TarvelXConnectApp.h"
#include "platform/SignalWatcher.h"

int main() {
    // Before any thread exists, so that only the watcher ever receives termination signals.
    platform::SignalWatcher::BlockTerminationSignals();
    app::CTarvelXConnectApp app;
    app.InitInstance();
    return 0;
}
