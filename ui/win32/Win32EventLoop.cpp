// The window thread's side of Windows: the message loop (with the dialog manager's keys), the wake
// and close that other threads post, and the presence timer.

#include "ui/win32/Win32MainWindowView.h"

namespace ui {

bool Win32MainWindowView::StartWindowSystem() {
    // A thread has a message queue once it has asked for a message; posts from other threads
    // made before that would be lost.
    MSG peek;
    PeekMessageA(&peek, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    m_nThreadId = GetCurrentThreadId();
    return true;
}

void Win32MainWindowView::StopWindowSystem() {
    m_nThreadId = 0;
}

void Win32MainWindowView::RunEventLoop() {
    while (!m_dlg.IsEnded()) {
        if (m_dlg.IsCloseRequested()) {
            m_dlg.OnClose();
            continue;
        }
        MSG message;
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT: nobody here posts it, but a quit must end the window all the same.
            m_dlg.OnClose();
            continue;
        }
        if (got < 0) continue;
        if (message.hwnd == nullptr) {
            HandleThreadMessage(message);
            continue;
        }
        // The dialog manager's keys: Enter and Escape become IDOK and IDCANCEL, which end the
        // window as a modal dialog's defaults do.
        if (HWND window = m_hWnd.load(); window != nullptr && IsDialogMessageA(window, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void Win32MainWindowView::HandleThreadMessage(const MSG& message) {
    if (message.message == kWakeMessage) m_dlg.RunPostedTasks();
    if (message.message == kQuitMessage) m_dlg.OnClose();
}

void Win32MainWindowView::WakeEventLoop() {
    // Sent to the window once it exists, so that a modal loop (the About box, a message box)
    // hands it on too; a thread message would be dropped there.
    if (HWND window = m_hWnd.load(); window != nullptr) {
        PostMessageA(window, kWakeMessage, 0, 0);
    } else if (DWORD thread = m_nThreadId.load(); thread != 0) {
        PostThreadMessageA(thread, kWakeMessage, 0, 0);
    }
}

void Win32MainWindowView::PostQuit() {
    if (HWND window = m_hWnd.load(); window != nullptr) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    } else if (DWORD thread = m_nThreadId.load(); thread != 0) {
        PostThreadMessageA(thread, kQuitMessage, 0, 0);
    }
}

void Win32MainWindowView::StartPresenceTimer(unsigned id, unsigned periodMs) {
    HWND window = m_hWnd.load();
    if (window == nullptr) return;
    m_nTimerId = SetTimer(window, id, periodMs, nullptr);
}

void Win32MainWindowView::StopPresenceTimer() {
    HWND window = m_hWnd.load();
    if (m_nTimerId == 0 || window == nullptr) return;
    KillTimer(window, m_nTimerId);
    m_nTimerId = 0;
}

}  // namespace ui
