#pragma once
// The application object: runs the main window until it ends.

namespace app {

class CTarvelXConnectDlg;

class CTarvelXConnectApp {
  public:
    // Runs the program; returns false, as the program ends when its window closes.
    bool InitInstance();
    // The end result of the main window (1 normal, 2 second instance refused).
    int WindowResult() const { return m_nWindowResult; }

  private:
    CTarvelXConnectDlg* m_pMainWnd = nullptr;
    int m_nWindowResult = 0;
};

}  // namespace app
