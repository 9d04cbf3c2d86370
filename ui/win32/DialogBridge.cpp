#include "ui/win32/DialogBridge.h"

#include "app/TarvelXConnectDlg.h"

namespace ui {

bool DialogBridge::IsEnded() const {
    return m_dlg.IsEnded();
}
bool DialogBridge::IsCloseRequested() const {
    return m_dlg.IsCloseRequested();
}
void DialogBridge::OnClose() {
    m_dlg.OnClose();
}
void DialogBridge::OnTimer(unsigned id) {
    m_dlg.OnTimer(id);
}
void DialogBridge::OnSysCommand(unsigned id) {
    m_dlg.OnSysCommand(id);
}
void DialogBridge::EndDialog(int result) {
    m_dlg.EndDialog(result);
}
void DialogBridge::RunPostedTasks() {
    m_dlg.RunPostedTasks();
}
void DialogBridge::OnAddressClicked() {
    m_dlg.OnAddressClicked();
}

}  // namespace ui
