#include "ui/win32/Skin.h"

#include <cstdio>

#include "ui/MessageBox.h"
#include "ui/win32/Pointer.h"

namespace ui {

CSkin::CSkin(WORD resourceId) {
    m_hBitmap =
        static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resourceId),
                                        IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    if (m_hBitmap == nullptr) {
        std::fprintf(stderr, "Cannot load skin bitmap %u: error %lu\n", resourceId, GetLastError());
        ui::ShowMessageBox("Skins loading failed", "Error", ui::MessageIcon::Error);
    } else {
        BITMAP info{};
        if (GetObjectA(m_hBitmap, sizeof info, &info) != 0) {
            m_nWidth = info.bmWidth;
            m_nHeight = info.bmHeight;
        }
    }
    m_hMemDC = CreateCompatibleDC(nullptr);
    if (m_hMemDC == nullptr) {
        std::fprintf(stderr, "Cannot make the skin's drawing context: error %lu\n", GetLastError());
        return;
    }
    if (m_hBitmap != nullptr) m_hOldBitmap = SelectObject(m_hMemDC, m_hBitmap);
}

CSkin::~CSkin() {
    Unhook();
    if (m_hMemDC != nullptr) {
        if (m_hOldBitmap != nullptr) SelectObject(m_hMemDC, m_hOldBitmap);
        DeleteDC(m_hMemDC);
        m_hMemDC = nullptr;
    }
    if (m_hBitmap != nullptr) {
        DeleteObject(m_hBitmap);
        m_hBitmap = nullptr;
    }
}

bool CSkin::Hook(HWND window) {
    if (m_bHooked) Unhook();
    m_hWnd = window;
    SetWindowRgn(window, nullptr, TRUE);
    m_pfnOldWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSkin::SkinWndProc)));
    if (!SetPropA(window, kPropertyName, this)) {
        std::fprintf(stderr, "Cannot attach the skin to its window: error %lu\n", GetLastError());
        if (m_pfnOldWndProc != nullptr) {
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnOldWndProc));
        }
        m_bHooked = false;
        return false;
    }
    m_bHooked = m_pfnOldWndProc != nullptr;
    InvalidateRect(window, nullptr, TRUE);
    return m_bHooked;
}

bool CSkin::Unhook() {
    if (!m_bHooked) return false;
    SetWindowRgn(m_hWnd, nullptr, TRUE);
    const bool restored =
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnOldWndProc)) != 0;
    RemovePropA(m_hWnd, kPropertyName);
    if (restored) {
        m_bHooked = false;
    } else {
        std::fprintf(stderr, "Cannot give the window its procedure back: error %lu\n",
                     GetLastError());
    }
    InvalidateRect(m_hWnd, nullptr, TRUE);
    return !m_bHooked;
}

bool CSkin::Refresh() {
    if (!m_bHooked || m_hBitmap == nullptr) return false;
    InvalidateRect(m_hWnd, nullptr, TRUE);
    return true;
}

LRESULT CALLBACK CSkin::SkinWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* skin = static_cast<CSkin*>(GetPropA(window, kPropertyName));
    if (skin == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_PAINT) skin->OnPaint(window);
    if (message == WM_LBUTTONDOWN) skin->OnLButtonDown(window);
    // Every message goes on, so the window's own handlers run after the face is painted and after
    // a drag has ended.
    return CallWindowProcA(skin->m_pfnOldWndProc, window, message, wParam, lParam);
}

void CSkin::OnPaint(HWND window) {
    // A minimised window shows the program's icon, which the window's own handler paints.
    if (IsIconic(window)) return;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr) return;
    BitBlt(dc, 0, 0, m_nWidth, m_nHeight, m_hMemDC, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
}

void CSkin::OnLButtonDown(HWND window) {
    if (g_rcExitButton.Contains(GetClientCursorPos(window))) return;
    // As if the press had hit a title bar: the system's move loop has the window follow the
    // pointer and returns once the button is up.
    SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

}  // namespace ui
