// What the window's face asks of the main window object (the About entry, a press on the address
// strip), and what the simulator link and the web server have the face show (the lamp, the
// address label). The view does the showing; what is asked for, and what is logged, is decided
// here.

#include <cstdio>
#include <cstring>

#include "app/TarvelXConnectDlg.h"
#include "log/Log.h"
#include "platform/BrowserLauncher.h"
#include "web/LocalAddress.h"
#include "web/WebServer.h"

namespace app {

namespace {

// "http://", 15 address characters, ":", 5 digits and the terminating zero.
constexpr size_t kUrlBufferSize = 29;
constexpr size_t kSchemeLength = 7;

}  // namespace

void CTarvelXConnectDlg::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0u) != ui::kAboutBoxCommand) return;
    m_pView->ShowAboutBox();
}

void CTarvelXConnectDlg::OnAddressClicked() {
    // The address the label shows, which the server keeps up to date; a failed lookup leaves
    // zeros behind the scheme: the browser gets a URL without host.
    char url[kUrlBufferSize] = "http://";
    std::string shown = m_pWebServer != nullptr ? m_pWebServer->ShownAddress() : "";
    if (shown.empty()) shown = web::GetLocalIPAddress().value;
    // 15 characters at most: a dotted IPv4 address.
    if (shown.size() < kUrlBufferSize - kSchemeLength - 6)
        std::memcpy(url + kSchemeLength, shown.c_str(), shown.size() + 1);
    const size_t length = std::strlen(url);
    std::snprintf(url + length, sizeof url - length, ":%u", static_cast<unsigned>(m_nPort.load()));
    if (platform::OpenUrlInBrowser(url))
        logging::LogLine(logging::LogFile, "Webbrowser launched: %s.\n", url);
}

void CTarvelXConnectDlg::SetOnlineLamp(bool online) {
    m_pView->SetOnlineLamp(online);
}

void CTarvelXConnectDlg::DrawAddressLabel(const std::string& text) {
    m_pView->DrawAddressLabel(text);
}

}  // namespace app
