#pragma once
// The main window's face, written once for every window system: its pictures, what a left press
// means and what the pointer shows as it moves. The face decides; the window system's view
// delivers the events (with the pointer's place in client pixels) and carries the decisions out
// through ui/FaceSystem.h, and what the face asks of the program goes to ui/FaceEvents.h.
//
// Window thread only.

#include "ui/FaceEvents.h"
#include "ui/FaceRect.h"
#include "ui/FaceSystem.h"

namespace ui {

// The face's pictures: resources of one type.
inline constexpr const char* kPictureType = "BMP";
inline constexpr const char* kLampOffline = "BITMAP_BTNONLINE_0";
inline constexpr const char* kLampOnline = "BITMAP_BTNONLINE_1";
inline constexpr const char* kExitNormal = "BITMAP_BTNEXIT_0";
inline constexpr const char* kExitHover = "BITMAP_BTNEXIT_1";

// Where a picture control sits and the picture it shows from the start.
struct FacePlacement {
    FaceControl control;
    FaceRect place;
    const char* firstPicture;
};
inline constexpr FacePlacement kFacePlacements[] = {
    {FaceControl::Lamp, g_rcOnlinePicture, kLampOffline},
    {FaceControl::Exit, g_rcExitButton, kExitNormal}};

// Set once the one attempt of the process to make the hand pointer has been made, whether it
// worked or not: a failed attempt is never repeated, and the default pointer then stays for good.
extern bool g_bHandCursorMade;

// Unload, load, draw: every picture change goes this way, with either system's picture control.
// True when the new picture loaded.
template <class Picture>
bool ChangePicture(Picture& picture, const char* name) {
    picture.Unload();
    if (!picture.LoadFromResource(name, kPictureType)) return false;
    picture.Draw();
    return true;
}

class WindowFace {
  public:
    // `system` and `events` outlive the face.
    WindowFace(FaceSystem& system, FaceEvents& events);

    // A left press, with the pointer at `point` when the press is handled: any drag has ended by
    // then, so the pointer's place decides, not the place of the press. The exit strip ends the
    // window, the address strip opens the address; elsewhere a press means nothing.
    void OnLButtonDown(FacePoint point);
    // The pointer moved to `point`: the exit strip's picture follows it and the hand shows over
    // either strip. True when the face showed the hand.
    bool OnSetCursor(FacePoint point);
    // The lamp's online or offline picture.
    void SetOnlineLamp(bool online);

  private:
    FaceSystem& m_system;
    FaceEvents& m_dlg;
    // The exit strip shows its highlighted picture.
    bool m_bExitHover = false;
    // This face has the hand pointer (the system keeps it).
    bool m_bHandCursor = false;
};

}  // namespace ui
