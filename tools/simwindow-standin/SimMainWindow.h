#pragma once
// The simulator's main window as the program looks for it: a top-level window of the class
// "FS98MAIN", which FindWindowA finds from any process of the same Wine prefix (or Windows
// session) while it exists. It is hidden unless asked otherwise, so it needs no window manager;
// taking it down and putting it up again plays a simulator that ends and starts.

#include <windows.h>

#include <string>

class SimMainWindow {
  public:
    static constexpr char kClassName[] = "FS98MAIN";

    SimMainWindow(std::string title, bool visible);
    // Takes the window down and unregisters the class.
    ~SimMainWindow();
    SimMainWindow(const SimMainWindow&) = delete;
    SimMainWindow& operator=(const SimMainWindow&) = delete;

    // Puts the window up (registering the class the first time). 0, or the system's error.
    DWORD Show();
    // Takes the window down; FindWindowA no longer finds it.
    void Hide();
    bool IsUp() const { return m_window != nullptr; }
    HWND Handle() const { return m_window; }
    // True once WM_CLOSE came: someone closed the simulator.
    bool WasClosed() const { return m_closed; }

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    const std::string m_title;
    const bool m_visible;
    bool m_registered = false;
    bool m_closed = false;
    HWND m_window = nullptr;
};
