#pragma once
// The main window on Win32: a borderless 320 x 320 popup painted from an off-screen picture, the
// status lamp, the exit strip and the address label drawn with GDI, the system's message loop, and
// the presence tick as a window timer (WM_TIMER, which Windows never lets pile up). Presses, keys,
// the close box and the system menu go to the main window object's handlers.
//
// The face is a plain one for now: a dark square with a red or green lamp, the exit strip and the
// address; the skinned pictures replace it without changing this interface.
//
// Window thread only, except WakeEventLoop and PostQuit, which reach only the atomic fields below.

#include <windows.h>

#include <atomic>
#include <string>

#include "ui/MainWindowView.h"
#include "ui/win32/DialogBridge.h"

namespace ui {

class Win32MainWindowView final : public MainWindowView {
  public:
    explicit Win32MainWindowView(CTarvelXConnectDlg& dlg);
    ~Win32MainWindowView() override;
    Win32MainWindowView(const Win32MainWindowView&) = delete;
    Win32MainWindowView& operator=(const Win32MainWindowView&) = delete;

    // ---- MainWindowView ------------------------------------------------------------------------
    bool StartWindowSystem() override;
    void StopWindowSystem() override;
    void RunEventLoop() override;
    void WakeEventLoop() override;
    void PostQuit() override;
    void StartPresenceTimer(unsigned id, unsigned periodMs) override;
    void StopPresenceTimer() override;
    bool CreateMainWindow(const std::string& title, int width, int height) override;
    void SetProgramIcon() override;
    void PlacePictureControls() override;
    bool CreateSkin() override;
    void ShowAt(int x, int y, int width, int height, const std::string& title) override;
    void CreateAddressFont() override;
    void SetOnlineLamp(bool online) override;
    void DrawAddressLabel(const std::string& text) override;
    void ShowAboutBox() override;
    void DestroySkin() override;
    void DeleteAddressFont() override;
    void DestroyWindow() override;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // A message that came to the thread rather than to the window (before the window exists).
    void HandleThreadMessage(const MSG& message);
    void OnPaint();
    void OnLButtonDown();
    bool OnSetCursor();
    // Draws the face into the off-screen picture: background, lamp, exit strip, address.
    void PaintFace();
    void Invalidate();

    DialogBridge m_dlg;
    // The window; set and cleared by the window thread, read by threads that post a wake or a
    // close, which then post to the window rather than to the thread.
    std::atomic<HWND> m_hWnd{nullptr};
    // The window thread's id while the window system runs, 0 otherwise; set and cleared by the
    // window thread, read by the posting threads.
    std::atomic<DWORD> m_nThreadId{0};
    // The window class is registered (window thread only, like everything below).
    bool m_bClassRegistered = false;
    UINT_PTR m_nTimerId = 0;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
    // The off-screen picture of the whole face, and the memory context it is selected into.
    HDC m_hSkinDC = nullptr;
    HBITMAP m_hSkinBitmap = nullptr;
    HGDIOBJ m_hOldBitmap = nullptr;
    HFONT m_hFont = nullptr;
    HCURSOR m_hHandCursor = nullptr;
    bool m_bPicturesPlaced = false;
    bool m_bOnline = false;
    bool m_bExitHover = false;
    std::string m_address;
};

}  // namespace ui
