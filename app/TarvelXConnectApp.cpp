#include "app/TarvelXConnectApp.h"

#include "app/TarvelXConnectDlg.h"
#include "platform/SignalWatcher.h"

namespace app {

bool CTarvelXConnectApp::InitInstance() {
    CTarvelXConnectDlg dlg;
    m_pMainWnd = &dlg;
    // SIGINT and SIGTERM close the window, so shutdown runs in its order and the log ends.
    platform::SignalWatcher signals;
    signals.Start([&dlg](int) { dlg.RequestClose(); });
    m_nWindowResult = dlg.DoModal();
    signals.Stop();
    m_pMainWnd = nullptr;
    return false;
}

}  // namespace app
