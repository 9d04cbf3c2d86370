#include "ui/win32/Win32MainWindowView.h"

#include <cstdio>

#include "app/MainWindowConstants.h"
#include "res/Resources.h"

namespace ui {

namespace {

constexpr const char* kWindowClass = "TarvelXConnectExtendedWindow";
// Work handed over by other threads, and a close asked for before the window exists.
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT kQuitMessage = WM_APP + 2;
constexpr int kIconResource = 128;

// The places on the face, in client pixels; right and bottom edges are outside.
constexpr RECT kExitButton{240, 243, 320, 268};
constexpr RECT kOnlinePicture{87, 87, 231, 231};
constexpr RECT kAddressLink{166, 284, 318, 295};
constexpr COLORREF kAddressColor = RGB(0x00, 0xFF, 0x12);  // 0x12FF00 as a COLORREF

bool Inside(const RECT& rect, POINT point) {
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
           point.y < rect.bottom;
}

POINT ClientCursorPos(HWND window) {
    POINT point{};
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    return point;
}

void FillRectWith(HDC dc, const RECT& rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

}  // namespace

std::unique_ptr<MainWindowView> MakeMainWindowView(CTarvelXConnectDlg& dlg) {
    return std::make_unique<Win32MainWindowView>(dlg);
}

Win32MainWindowView::Win32MainWindowView(CTarvelXConnectDlg& dlg) : m_dlg(dlg) {}

Win32MainWindowView::~Win32MainWindowView() {
    DestroySkin();
    DeleteAddressFont();
    DestroyWindow();
}

// ---- The window system and the event loop ------------------------------------------------------

bool Win32MainWindowView::StartWindowSystem() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassExA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        std::fprintf(stderr, "Cannot start the window system: error %lu\n", GetLastError());
        return false;
    }
    m_bClassRegistered = true;
    // A thread has a message queue once it has asked for a message; posts from other threads
    // made before that would be lost.
    MSG peek;
    PeekMessageA(&peek, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    m_nThreadId = GetCurrentThreadId();
    return true;
}

void Win32MainWindowView::StopWindowSystem() {
    m_nThreadId = 0;
    if (m_bClassRegistered) {
        UnregisterClassA(kWindowClass, GetModuleHandleA(nullptr));
        m_bClassRegistered = false;
    }
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

// ---- The window and its face -----------------------------------------------------------------

bool Win32MainWindowView::CreateMainWindow(const std::string& title, int width, int height) {
    HWND window =
        CreateWindowExA(0, kWindowClass, title.c_str(), WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, 0,
                        0, width, height, nullptr, nullptr, GetModuleHandleA(nullptr), this);
    if (window == nullptr) {
        std::fprintf(stderr, "Cannot create the window: error %lu\n", GetLastError());
        return false;
    }
    m_hWnd = window;
    // The About entry joins the system menu, on the condition that its text exists.
    const std::string about = res::LoadResourceString(res::kIdsAboutBox);
    if (HMENU menu = GetSystemMenu(window, FALSE); menu != nullptr && !about.empty()) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, kAboutBoxCommand, about.c_str());
    }
    return true;
}

void Win32MainWindowView::SetProgramIcon() {
    HWND window = m_hWnd.load();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    m_hIcon =
        static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kIconResource), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    m_hSmallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kIconResource),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0));
    if (window == nullptr) return;
    if (m_hIcon != nullptr) SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
    if (m_hSmallIcon != nullptr) SendMessageA(window, WM_SETICON, ICON_SMALL, (LPARAM)m_hSmallIcon);
}

void Win32MainWindowView::PlacePictureControls() {
    m_bPicturesPlaced = true;
}

bool Win32MainWindowView::CreateSkin() {
    HWND window = m_hWnd.load();
    HDC screen = GetDC(window);
    if (screen == nullptr) return false;
    m_hSkinDC = CreateCompatibleDC(screen);
    m_hSkinBitmap = CreateCompatibleBitmap(screen, kWindowWidth, kWindowHeight);
    ReleaseDC(window, screen);
    if (m_hSkinDC == nullptr || m_hSkinBitmap == nullptr) {
        DestroySkin();
        return false;
    }
    m_hOldBitmap = SelectObject(m_hSkinDC, m_hSkinBitmap);
    PaintFace();
    return true;
}

void Win32MainWindowView::ShowAt(int x, int y, int width, int height, const std::string& title) {
    HWND window = m_hWnd.load();
    if (window == nullptr) return;
    SetWindowPos(window, nullptr, x, y, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SetWindowTextA(window, title.c_str());
    Invalidate();
}

void Win32MainWindowView::CreateAddressFont() {
    // 10 points at the screen's logical pixels per inch.
    HDC screen = GetDC(nullptr);
    const int pixelsPerInch = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    m_hFont = CreateFontA(-MulDiv(10, pixelsPerInch, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                          ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, "Tahoma");
}

void Win32MainWindowView::SetOnlineLamp(bool online) {
    m_bOnline = online;
    PaintFace();
    Invalidate();
}

void Win32MainWindowView::DrawAddressLabel(const std::string& text) {
    m_address = text;
    PaintFace();
    Invalidate();
    if (HWND window = m_hWnd.load(); window != nullptr) UpdateWindow(window);
}

void Win32MainWindowView::ShowAboutBox() {
    const std::string text = res::LoadResourceString(res::kIdsAboutVersion) + "\n" +
                             res::LoadResourceString(res::kIdsAboutDescription);
    MessageBoxA(m_hWnd.load(), text.c_str(), res::LoadResourceString(res::kIdsAboutTitle).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

// ---- Shutdown --------------------------------------------------------------------------------

void Win32MainWindowView::DestroySkin() {
    if (m_hSkinDC != nullptr) {
        if (m_hOldBitmap != nullptr) SelectObject(m_hSkinDC, m_hOldBitmap);
        DeleteDC(m_hSkinDC);
        m_hSkinDC = nullptr;
        m_hOldBitmap = nullptr;
    }
    if (m_hSkinBitmap != nullptr) {
        DeleteObject(m_hSkinBitmap);
        m_hSkinBitmap = nullptr;
    }
}

void Win32MainWindowView::DeleteAddressFont() {
    if (m_hFont == nullptr) return;
    DeleteObject(m_hFont);
    m_hFont = nullptr;
}

void Win32MainWindowView::DestroyWindow() {
    StopPresenceTimer();
    if (HWND window = m_hWnd.exchange(nullptr); window != nullptr) ::DestroyWindow(window);
    for (HICON* icon : {&m_hIcon, &m_hSmallIcon}) {
        if (*icon != nullptr) DestroyIcon(*icon);
        *icon = nullptr;
    }
}

// ---- Messages --------------------------------------------------------------------------------

LRESULT CALLBACK Win32MainWindowView::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)create->lpCreateParams);
    }
    auto* view = reinterpret_cast<Win32MainWindowView*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (view == nullptr || view->m_hWnd.load() != window)
        return DefWindowProcA(window, message, wParam, lParam);
    return view->HandleMessage(message, wParam, lParam);
}

LRESULT Win32MainWindowView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = m_hWnd.load();
    switch (message) {
        case kWakeMessage:
            m_dlg.RunPostedTasks();
            return 0;
        case WM_TIMER:
            m_dlg.OnTimer(static_cast<unsigned>(wParam));
            return 0;
        case WM_CLOSE:
            m_dlg.OnClose();
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0u) == kAboutBoxCommand) {
                m_dlg.OnSysCommand(static_cast<unsigned>(wParam));
                return 0;
            }
            break;
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint covers the whole face
        case WM_LBUTTONDOWN:
            OnLButtonDown();
            return 0;
        case WM_SETCURSOR:
            if (OnSetCursor()) return TRUE;
            break;
        case WM_KEYDOWN:
            // The dialog keys: Enter and Escape end the window as a close does.
            if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
                m_dlg.EndDialog(1);
                return 0;
            }
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void Win32MainWindowView::OnPaint() {
    HWND window = m_hWnd.load();
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr) return;
    if (!IsIconic(window) && m_hSkinDC != nullptr)
        BitBlt(dc, 0, 0, kWindowWidth, kWindowHeight, m_hSkinDC, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
}

void Win32MainWindowView::OnLButtonDown() {
    HWND window = m_hWnd.load();
    if (window == nullptr) return;
    if (!Inside(kExitButton, ClientCursorPos(window))) {
        // No title bar: a press on the face moves the window as a caption would, and returns
        // when the button is released.
        SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    }
    // The pointer's place after the drag decides, not the place of the press.
    const POINT point = ClientCursorPos(window);
    if (Inside(kExitButton, point)) {
        m_dlg.EndDialog(1);
        return;
    }
    if (Inside(kAddressLink, point)) m_dlg.OnAddressClicked();
}

bool Win32MainWindowView::OnSetCursor() {
    HWND window = m_hWnd.load();
    if (window == nullptr) return false;
    const POINT point = ClientCursorPos(window);
    const bool overExit = Inside(kExitButton, point);
    const bool overAddress = Inside(kAddressLink, point);
    if (overExit != m_bExitHover && !overAddress) {
        m_bExitHover = overExit;
        PaintFace();
        Invalidate();
    } else if (overExit && !m_bExitHover) {
        m_bExitHover = true;
        PaintFace();
        Invalidate();
    }
    if (!overExit && !overAddress) return false;
    if (m_hHandCursor == nullptr) m_hHandCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));
    if (m_hHandCursor == nullptr) return false;
    SetCursor(m_hHandCursor);
    return true;
}

void Win32MainWindowView::PaintFace() {
    if (m_hSkinDC == nullptr) return;
    const RECT all{0, 0, kWindowWidth, kWindowHeight};
    FillRectWith(m_hSkinDC, all, RGB(0x20, 0x24, 0x2A));
    if (m_bPicturesPlaced) {
        HBRUSH lamp = CreateSolidBrush(m_bOnline ? RGB(0x20, 0xC0, 0x30) : RGB(0xD0, 0x20, 0x20));
        HGDIOBJ oldBrush = SelectObject(m_hSkinDC, lamp);
        HGDIOBJ oldPen = SelectObject(m_hSkinDC, GetStockObject(NULL_PEN));
        Ellipse(m_hSkinDC, kOnlinePicture.left, kOnlinePicture.top, kOnlinePicture.right,
                kOnlinePicture.bottom);
        SelectObject(m_hSkinDC, oldPen);
        SelectObject(m_hSkinDC, oldBrush);
        DeleteObject(lamp);
        FillRectWith(m_hSkinDC, kExitButton,
                     m_bExitHover ? RGB(0x70, 0x78, 0x84) : RGB(0x40, 0x46, 0x50));
    }
    if (!m_address.empty()) {
        RECT strip = kAddressLink;
        HGDIOBJ oldFont = m_hFont != nullptr ? SelectObject(m_hSkinDC, m_hFont) : nullptr;
        SetBkMode(m_hSkinDC, TRANSPARENT);
        SetTextColor(m_hSkinDC, kAddressColor);
        DrawTextA(m_hSkinDC, m_address.c_str(), -1, &strip,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (oldFont != nullptr) SelectObject(m_hSkinDC, oldFont);
    }
}

void Win32MainWindowView::Invalidate() {
    if (HWND window = m_hWnd.load(); window != nullptr) InvalidateRect(window, nullptr, FALSE);
}

}  // namespace ui
