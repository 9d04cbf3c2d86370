#pragma once
// The main window as the window system shows it: the window and the pieces on its face, the event
// loop, the presence timer. The main window object keeps the program's logic and every piece of
// state the threads share, and drives the window system through this interface alone; each window
// system brings one implementation (ui/sdl/ on Linux, ui/win32/ on Windows), made by
// MakeMainWindowView. What the window's face asks of the logic (a close, the exit strip, the
// address strip, the About entry, the dialog keys) the implementation hands on through
// ui/MainWindowEvents.h.
//
// Window thread only, except WakeEventLoop and PostQuit, which any thread may call.

#include <memory>
#include <string>

#include "ui/MainWindowEvents.h"

namespace ui {

class MainWindowView {
  public:
    virtual ~MainWindowView() = default;

    // ---- The window system and the event loop --------------------------------------------------
    // Starts the window system for one run of the window; false when it cannot start (the reason
    // goes to standard error).
    virtual bool StartWindowSystem() = 0;
    // Ends what StartWindowSystem started, once the window and its pieces are gone.
    virtual void StopWindowSystem() = 0;
    // Hands events out until the main window has ended (MainWindowEvents::IsEnded): the window's
    // own events to the face, a close (the close box, PostQuit, a close request) to OnClose,
    // presence ticks to OnTimer, a wake to RunPostedTasks.
    virtual void RunEventLoop() = 0;
    // Makes the event loop run the posted tasks at its next turn (any thread). Before the window
    // system has started it does nothing: the loop runs them when it starts.
    virtual void WakeEventLoop() = 0;
    // Puts a close into the event loop's queue (any thread); nothing before the window system has
    // started.
    virtual void PostQuit() = 0;
    // Calls OnTimer(id) on the window thread every `periodMs` milliseconds. Ticks do not pile up:
    // while one waits to be handled, the next ones are dropped.
    virtual void StartPresenceTimer(unsigned id, unsigned periodMs) = 0;
    virtual void StopPresenceTimer() = 0;

    // ---- The window and its face, in the order of start-up -------------------------------------
    // The window of `width` x `height` pixels, hidden until ShowAt; false when it cannot be made.
    virtual bool CreateMainWindow(const std::string& title, int width, int height) = 0;
    // The big and small window icon.
    virtual void SetProgramIcon() = 0;
    // The status lamp and the exit strip: load, draw, move to their places.
    virtual void PlacePictureControls() = 0;
    // The skin; false when it has no drawing surface.
    virtual bool CreateSkin() = 0;
    // Places the window at (x, y) on the screen, sizes it, shows it without taking the focus,
    // titles it and asks for a paint of its whole face.
    virtual void ShowAt(int x, int y, int width, int height, const std::string& title) = 0;
    // Starts finding the address label's font; the label takes it when it is first drawn.
    virtual void CreateAddressFont() = 0;

    // ---- While the window runs -----------------------------------------------------------------
    // Switches the status lamp to the online or offline picture. Harmless without a window: the
    // lamp then stays empty.
    virtual void SetOnlineLamp(bool online) = 0;
    // Draws `text` centred into the address strip of the skin and repaints that strip at once.
    virtual void DrawAddressLabel(const std::string& text) = 0;
    // The About box, over the window, until it is confirmed.
    virtual void ShowAboutBox() = 0;

    // ---- Shutdown, in its order ----------------------------------------------------------------
    virtual void DestroySkin() = 0;
    // Waits for a font search still running, then lets the font go.
    virtual void DeleteAddressFont() = 0;
    // The pictures, the window itself and the icon: the last pieces to go.
    virtual void DestroyWindow() = 0;
};

// The window system's view of the main window that `events` stands for; `events` outlives it.
// Touches no window system yet.
std::unique_ptr<MainWindowView> MakeMainWindowView(MainWindowEvents& events);

}  // namespace ui
