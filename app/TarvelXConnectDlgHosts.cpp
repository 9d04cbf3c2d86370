// What the simulator link and the web server ask of the main window object: the link's state for
// the pages, the pause control, the web server's start once a connection opens, the gauge's
// probe, and the address label drawn on the window thread.

#include "app/TarvelXConnectDlg.h"
#include "web/WebServer.h"

namespace app {

void CTarvelXConnectDlg::OnSimconnectStarted() {
    // The server that waits for the simulator starts with the first connection; a running
    // thread stays the only one.
    if (m_bServerEnabled && m_pWebServer != nullptr) m_pWebServer->StartWebServerThread();
}

void CTarvelXConnectDlg::ProbeMcdu() {
    web::WebServer* server = m_pWebServer;
    if (m_bServerEnabled && server != nullptr) server->SendProbe();
}

bool CTarvelXConnectDlg::IsSimOnline() const {
    return m_simLink.IsOnline();
}

bool CTarvelXConnectDlg::IsSimPaused() const {
    return m_simLink.IsPaused();
}

void CTarvelXConnectDlg::GetFlightData(sim::FlightData& out) {
    m_simLink.GetFlightData(out);
}

void CTarvelXConnectDlg::PauseSim(bool pause) {
    m_simLink.PauseSim(pause);
}

void CTarvelXConnectDlg::ShowAddressLabel(const std::string& label) {
    PostToWindowThread([this, label] { DrawAddressLabel(label); });
}

}  // namespace app
