#pragma once
// What a window system tells the main window and what it asks of it: the event loop's questions
// (has the window ended, is a close waiting), the close box, the presence tick, the system menu,
// the dialog keys, the exit and address strips, and the wake for work posted to the window
// thread. The main window object implements it; the views of ui/ hold it and know nothing else
// of the program, so the window systems never reach into the program's logic.
//
// Window thread only, except RequestClose, which any thread may call.

#include "ui/FaceEvents.h"

namespace ui {

// The face's own requests (EndDialog, OnAddressClicked) come from ui/FaceEvents.h.
class MainWindowEvents : public FaceEvents {
  public:
    // ---- Asked by the event loop before each turn ----------------------------------------------
    // The window has ended: the event loop returns.
    virtual bool IsEnded() const = 0;
    // A close was asked for by RequestClose and the event loop has yet to act on it (OnClose).
    virtual bool IsCloseRequested() const = 0;

    // ---- What happened -------------------------------------------------------------------------
    // A close: the close box, a quit posted by PostQuit, a close request.
    virtual void OnClose() = 0;
    // The user's session ends (logoff, shutdown). The system may end the process as soon as the
    // window has answered, so the whole shutdown of a close runs before this returns.
    virtual void OnEndSession() = 0;
    // A tick of the timer started with StartPresenceTimer(id, ...).
    virtual void OnTimer(unsigned id) = 0;
    // A command of the system menu (the About entry's is kAboutBoxCommand).
    virtual void OnSysCommand(unsigned id) = 0;
    // Asks for a close at the event loop's next turn, from any thread.
    virtual void RequestClose() = 0;
    // The event loop was woken for work posted to the window thread: runs it.
    virtual void RunPostedTasks() = 0;
};

}  // namespace ui
