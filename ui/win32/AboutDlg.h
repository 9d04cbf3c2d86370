#pragma once
// The About box: the program's icon, name and version, one line about what it does, and an OK
// button, from the dialog template the program's resources carry (res/Resources.rc). It has no
// handlers of its own beyond the dialog's defaults: OK, Enter, Escape and its close box end it.

#include <windows.h>

namespace ui {

class CAboutDlg {
  public:
    // Shows the box over `parent`, modally, until it is ended; returns the button that ended it
    // (IDOK or IDCANCEL), or -1 when the box could not be shown.
    INT_PTR DoModal(HWND parent);

  private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace ui
