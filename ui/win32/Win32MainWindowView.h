#pragma once
// The main window on Win32: the dialog from template 102 (a frameless 320 x 320 popup with a
// system menu and a task bar button), its skin, the status lamp and the exit strip as picture
// controls, the hand pointer, the address label in Tahoma, the About entry in the system menu and
// the About box, the icon while minimised, the system's message loop with the dialog keys, and the
// presence tick as a window timer (WM_TIMER, which Windows never lets pile up). Presses, keys, the
// close box and the system menu go to the main window's events (ui/MainWindowEvents.h).
//
// The member functions are implemented in two files:
//   ui/win32/Win32MainWindowView.cpp  the window, its face, pointer, presses, lamp, label, About
//   ui/win32/Win32EventLoop.cpp       the message loop, the wake, the close, the timer
//
// Window thread only, except WakeEventLoop and PostQuit, which reach only the atomic fields below.

#include <windows.h>

#include <atomic>
#include <string>

#include "ui/FaceSystem.h"
#include "ui/MainWindowView.h"
#include "ui/WindowFace.h"
#include "ui/win32/PictureEx.h"

namespace ui {

class CSkin;

class Win32MainWindowView final : public MainWindowView, private FaceSystem {
  public:
    explicit Win32MainWindowView(MainWindowEvents& events);
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

    // Message posted to the window (or, before it exists, to the thread) when posted work waits.
    static constexpr UINT kWakeMessage = WM_APP + 1;
    // Thread message for a close asked for before the window exists.
    static constexpr UINT kQuitMessage = WM_APP + 2;

  private:
    // ---- FaceSystem ----------------------------------------------------------------------------
    bool ChangePicture(FaceControl control, const char* name) override;
    bool MakeHandCursor() override;
    void ShowPointer(FacePointer pointer) override;

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The dialog's handlers; true when the message was handled, with its result in `result`.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // A message that came to the thread rather than to the window (before the window exists).
    void HandleThreadMessage(const MSG& message);
    void OnPaint();
    // Adds the About entry to the system menu, when the window has one and the entry has a text.
    void AddAboutEntry();

    // The main window, told of what happens here; it outlives the view.
    MainWindowEvents& m_dlg;
    // What the face shows and what its presses mean.
    WindowFace m_face;
    // The window; set and cleared by the window thread, read by threads that post a wake or a
    // close, which then post to the window rather than to the thread.
    std::atomic<HWND> m_hWnd{nullptr};
    // The window thread's id while the window system runs, 0 otherwise; set and cleared by the
    // window thread, read by the posting threads.
    std::atomic<DWORD> m_nThreadId{0};

    // ---- The window's pieces (window thread only) ----------------------------------------------
    UINT_PTR m_nTimerId = 0;
    // Program icon (resource 128): the window's icons, the minimised face and the drag icon.
    HICON m_hIcon = nullptr;
    CSkin* m_pSkin = nullptr;
    // The skin's drawing context, on which the address label is drawn.
    HDC m_hSkinDC = nullptr;
    // The hand pointer, made when the face first needs it and kept for the life of the process.
    HCURSOR m_hHandCursor = nullptr;
    CPictureEx m_picOnline;
    CPictureEx m_picExit;
    HFONT m_hFont = nullptr;
};

}  // namespace ui
