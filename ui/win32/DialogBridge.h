#pragma once
// The main window object's handlers as the Win32 window calls them. The simulator library's
// header declares Windows-like types (DWORD, HANDLE, HRESULT) of its own, so <windows.h> and the
// main window object's header never meet in one file: the window's sources include this instead.

class CTarvelXConnectDlg;

namespace ui {

class DialogBridge {
  public:
    explicit DialogBridge(CTarvelXConnectDlg& dlg) : m_dlg(dlg) {}

    bool IsEnded() const;
    bool IsCloseRequested() const;
    void OnClose();
    void OnTimer(unsigned id);
    void OnSysCommand(unsigned id);
    void EndDialog(int result);
    void RunPostedTasks();
    void OnAddressClicked();

  private:
    CTarvelXConnectDlg& m_dlg;
};

}  // namespace ui
