// The main window on Win32: the dialog itself and its messages, handed to the face
// (ui/WindowFace.h) and the main window, the skin and the two picture controls, the pictures and
// the pointer the face asks for, the address label, the About entry and box, the minimised icon.

#include "ui/win32/Win32MainWindowView.h"

#include <cstdio>

#include "res/ResourceText.h"
#include "res/Resources.h"
#include "ui/MainWindowConstants.h"
#include "ui/win32/AboutDlg.h"
#include "ui/win32/AddressFont.h"
#include "ui/win32/Pointer.h"
#include "ui/win32/Skin.h"

namespace ui {

namespace {

// Red 0x12, green 0xFF, blue 0x00.
constexpr COLORREF kAddressColour = RGB(0x12, 0xFF, 0x00);

constexpr RECT ToRect(const FaceRect& rect) {
    return RECT{rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

std::unique_ptr<MainWindowView> MakeMainWindowView(MainWindowEvents& events) {
    return std::make_unique<Win32MainWindowView>(events);
}

Win32MainWindowView::Win32MainWindowView(MainWindowEvents& events)
    : m_dlg(events), m_face(*this, events) {}

Win32MainWindowView::~Win32MainWindowView() {
    DestroySkin();
    DeleteAddressFont();
    DestroyWindow();
}

// ---- The window and its face, in the order of start-up ----------------------------------------

bool Win32MainWindowView::CreateMainWindow(const std::string& title, int width, int height) {
    HWND window =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN_WINDOW), nullptr,
                           &Win32MainWindowView::DialogProc, reinterpret_cast<LPARAM>(this));
    if (window == nullptr) {
        std::fprintf(stderr, "Cannot create the window: error %lu\n", GetLastError());
        return false;
    }
    m_hWnd = window;
    // The template's size is in dialog units of its font; the window is the skin's size in pixels.
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowTextA(window, title.c_str());
    AddAboutEntry();
    return true;
}

void Win32MainWindowView::AddAboutEntry() {
    const std::string about = res::LoadResourceString(res::kIdsAboutBox);
    HMENU menu = GetSystemMenu(m_hWnd.load(), FALSE);
    if (menu == nullptr || about.empty()) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kAboutBoxCommand, about.c_str());
}

void Win32MainWindowView::SetProgramIcon() {
    if (m_hIcon == nullptr) {
        m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
        if (m_hIcon == nullptr)
            std::fprintf(stderr, "Cannot load the icon: error %lu\n", GetLastError());
    }
    HWND window = m_hWnd.load();
    if (window == nullptr || m_hIcon == nullptr) return;
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

void Win32MainWindowView::PlacePictureControls() {
    HWND window = m_hWnd.load();
    for (const FacePlacement& placement : kFacePlacements) {
        const bool lamp = placement.control == FaceControl::Lamp;
        CPictureEx& picture = lamp ? m_picOnline : m_picExit;
        const int id = lamp ? IDC_PICTURE_ONLINE : IDC_PICTURE_EXIT;
        if (!picture.SubclassDlgItem(id, window)) {
            std::fprintf(stderr, "Cannot bind picture control %d: error %lu\n", id, GetLastError());
            continue;
        }
        ui::ChangePicture(picture, placement.firstPicture);
        // Loading sized the control to its picture; its final place is fixed whatever that was.
        const FaceRect& place = placement.place;
        SetWindowPos(picture.GetSafeHwnd(), nullptr, place.left, place.top, place.Width(),
                     place.Height(), SWP_NOZORDER);
        SetWindowTextA(picture.GetSafeHwnd(), "");
    }
}

bool Win32MainWindowView::CreateSkin() {
    m_pSkin = new CSkin(IDB_SKIN);
    m_pSkin->Hook(m_hWnd.load());
    m_pSkin->Refresh();
    m_hSkinDC = m_pSkin->GetMemDC();
    return m_hSkinDC != nullptr;
}

void Win32MainWindowView::ShowAt(int x, int y, int width, int height, const std::string& title) {
    HWND window = m_hWnd.load();
    if (window == nullptr) return;
    SetWindowPos(window, nullptr, x, y, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SetWindowTextA(window, title.c_str());
    InvalidateRect(window, nullptr, TRUE);
}

void Win32MainWindowView::CreateAddressFont() {
    if (m_hFont == nullptr) m_hFont = ui::CreateAddressFont(m_hWnd.load());
}

// ---- While the window runs ---------------------------------------------------------------------

void Win32MainWindowView::SetOnlineLamp(bool online) {
    m_face.SetOnlineLamp(online);
}

void Win32MainWindowView::DrawAddressLabel(const std::string& text) {
    HWND window = m_hWnd.load();
    if (m_hSkinDC == nullptr || window == nullptr) return;
    RECT strip = ToRect(g_rcAddressLink);
    SetBkMode(m_hSkinDC, TRANSPARENT);
    HGDIOBJ previousFont = m_hFont != nullptr ? SelectObject(m_hSkinDC, m_hFont) : nullptr;
    SetTextColor(m_hSkinDC, kAddressColour);
    DrawTextA(m_hSkinDC, text.c_str(), -1, &strip,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
    if (previousFont != nullptr) SelectObject(m_hSkinDC, previousFont);
    const RECT drawn = ToRect(g_rcAddressLink);
    InvalidateRect(window, &drawn, TRUE);
    UpdateWindow(window);
}

void Win32MainWindowView::ShowAboutBox() {
    CAboutDlg about;
    about.DoModal(m_hWnd.load());
}

// ---- Shutdown ----------------------------------------------------------------------------------

void Win32MainWindowView::DestroySkin() {
    delete m_pSkin;  // unhooks from the window before its context goes
    m_pSkin = nullptr;
    m_hSkinDC = nullptr;
}

void Win32MainWindowView::DeleteAddressFont() {
    if (m_hFont == nullptr) return;
    DeleteObject(m_hFont);
    m_hFont = nullptr;
}

void Win32MainWindowView::DestroyWindow() {
    StopPresenceTimer();
    m_picOnline.Unload();
    m_picExit.Unload();
    if (HWND window = m_hWnd.exchange(nullptr); window != nullptr) ::DestroyWindow(window);
    // The icon is the module's shared one (LoadIcon): the system keeps it.
    m_hIcon = nullptr;
}

// ---- Messages ----------------------------------------------------------------------------------

INT_PTR CALLBACK Win32MainWindowView::DialogProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        return FALSE;  // the window is shown later, without taking the focus
    }
    auto* view = reinterpret_cast<Win32MainWindowView*>(GetWindowLongPtrA(window, DWLP_USER));
    if (view == nullptr || view->m_hWnd.load() != window) return FALSE;
    LRESULT result = 0;
    if (!view->OnMessage(message, wParam, lParam, result)) return FALSE;
    // The drag icon is the one answer a dialog procedure returns itself.
    if (message == WM_QUERYDRAGICON) return static_cast<INT_PTR>(result);
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

bool Win32MainWindowView::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    switch (message) {
        case kWakeMessage:
            m_dlg.RunPostedTasks();
            return true;
        case WM_TIMER:
            m_dlg.OnTimer(static_cast<unsigned>(wParam));
            return true;
        case WM_CLOSE:
            m_dlg.OnClose();
            return true;
        case WM_QUERYENDSESSION:
            // Nothing here is worth keeping a logoff or a shutdown waiting.
            result = TRUE;
            return true;
        case WM_ENDSESSION:
            // wParam is false when another program refused the end and the session goes on.
            if (wParam) m_dlg.OnEndSession();
            return true;
        case WM_COMMAND:
            // The dialog keys: Enter (IDOK) and Escape (IDCANCEL) end the window.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                m_dlg.EndDialog(1);
                return true;
            }
            return false;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0u) != kAboutBoxCommand) return false;
            m_dlg.OnSysCommand(static_cast<unsigned>(wParam));
            return true;
        case WM_PAINT:
            if (!IsIconic(m_hWnd.load())) return false;
            OnPaint();
            return true;
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<LRESULT>(m_hIcon);
            return true;
        case WM_SETCURSOR:
            if (!m_face.OnSetCursor(GetClientCursorPos(m_hWnd.load()))) return false;
            result = TRUE;
            return true;
        case WM_LBUTTONDOWN:
            // The skin's move loop has ended by now.
            m_face.OnLButtonDown(GetClientCursorPos(m_hWnd.load()));
            return true;
        default:
            return false;
    }
}

void Win32MainWindowView::OnPaint() {
    // Minimised: the program's icon, centred on the window's face.
    HWND window = m_hWnd.load();
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr) return;
    SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(window, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    if (m_hIcon != nullptr) DrawIcon(dc, x, y, m_hIcon);
    EndPaint(window, &paint);
}

// ---- The face's requests ----------------------------------------------------------------------

bool Win32MainWindowView::ChangePicture(FaceControl control, const char* name) {
    return ui::ChangePicture(control == FaceControl::Lamp ? m_picOnline : m_picExit, name);
}

bool Win32MainWindowView::MakeHandCursor() {
    HCURSOR system = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // IDC_HAND
    m_hHandCursor = system != nullptr ? CopyCursor(system) : nullptr;
    if (m_hHandCursor == nullptr) {
        std::fprintf(stderr, "Cannot make the hand pointer: error %lu\n", GetLastError());
    }
    return m_hHandCursor != nullptr;
}

void Win32MainWindowView::ShowPointer(FacePointer pointer) {
    // The default pointer needs nothing: WM_SETCURSOR goes unanswered, and the dialog's own
    // handling shows its class's arrow.
    if (pointer == FacePointer::Hand) SetCursor(m_hHandCursor);
}

}  // namespace ui
