#pragma once
// What the main window's face (ui/WindowFace.h) asks of the window system it is shown on: change a
// picture, make the hand pointer, show a pointer. Each window system's view implements it; the
// face keeps every decision, so the two systems cannot drift apart in what they show.
//
// Window thread only.

namespace ui {

// The face's two picture controls.
enum class FaceControl { Lamp, Exit };

enum class FacePointer { Default, Hand };

class FaceSystem {
  public:
    virtual ~FaceSystem() = default;

    // Unloads the control's picture, loads picture `name` (of kPictureType) and draws it when it
    // loaded; true when it loaded. The control is then empty after a failed load.
    virtual bool ChangePicture(FaceControl control, const char* name) = 0;
    // Makes the hand pointer, which the system keeps; true when it was made.
    virtual bool MakeHandCursor() = 0;
    // Shows `pointer` over the window. The default one is the system's usual arrow.
    virtual void ShowPointer(FacePointer pointer) = 0;
};

}  // namespace ui
