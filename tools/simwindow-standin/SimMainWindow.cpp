#include "tools/simwindow-standin/SimMainWindow.h"

#include <utility>

SimMainWindow::SimMainWindow(std::string title, bool visible)
    : m_title(std::move(title)), m_visible(visible) {}

SimMainWindow::~SimMainWindow() {
    Hide();
    if (m_registered) ::UnregisterClassA(kClassName, ::GetModuleHandleA(nullptr));
}

DWORD SimMainWindow::Show() {
    if (m_window != nullptr) return 0;
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    if (!m_registered) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = kClassName;
        if (::RegisterClassA(&windowClass) == 0) return ::GetLastError();
        m_registered = true;
    }
    // A small popup: no frame for a window manager to decorate, and nothing covers the screen.
    m_window = ::CreateWindowExA(0, kClassName, m_title.c_str(), WS_POPUP, 0, 0, 160, 90, nullptr,
                                 nullptr, instance, this);
    if (m_window == nullptr) {
        const DWORD error = ::GetLastError();
        // Wine gives no error number when it has no display driver at all.
        return error != 0 ? error : ERROR_INVALID_WINDOW_HANDLE;
    }
    if (m_visible) ::ShowWindow(m_window, SW_SHOWNOACTIVATE);
    return 0;
}

void SimMainWindow::Hide() {
    if (m_window == nullptr) return;
    const HWND window = m_window;
    m_window = nullptr;
    ::DestroyWindow(window);
}

LRESULT CALLBACK SimMainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<SimMainWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_CLOSE && self != nullptr) {
        // The simulator ends with its window: the run loop sees the quit message.
        self->m_closed = true;
        self->Hide();
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}
