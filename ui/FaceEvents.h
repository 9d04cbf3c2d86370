#pragma once
// What a press on the main window's face asks of the program: the exit strip ends the window, the
// address strip opens the address. The face (ui/WindowFace.h) needs no more of the main window
// than this; the main window's events (ui/MainWindowEvents.h) include it.
//
// Window thread only.

namespace ui {

class FaceEvents {
  public:
    virtual ~FaceEvents() = default;

    // Ends the event loop with `result`: the exit strip and the dialog keys (Enter, Escape).
    virtual void EndDialog(int result) = 0;
    // A press on the address strip.
    virtual void OnAddressClicked() = 0;
};

}  // namespace ui
