#include "ui/win32/AboutDlg.h"

#include <cstdio>

#include "res/ResourceText.h"

namespace ui {

INT_PTR CAboutDlg::DoModal(HWND parent) {
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), parent,
                        &CAboutDlg::DialogProc, 0);
    if (result == -1) {
        std::fprintf(stderr, "Cannot show the About box: error %lu\n", GetLastError());
    }
    return result;
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;  // the focus goes to the default button
        case WM_COMMAND:
            // The dialog manager turns Enter, Escape and the close box into these two.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace ui
