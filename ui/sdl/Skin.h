#pragma once
// The main window's face and its way of being moved. The skin holds one picture in a surface of
// its own and stands in front of the window's own handlers: it sees each of the window's events
// first, paints the whole window from the picture on a repaint, and turns a left press anywhere
// outside the exit strip into a drag of the window, which has no title bar. Its surface is also
// the window's canvas: the address label is drawn into it and stays there.
//
// Window thread only.

#include <SDL.h>

#include <cstdint>
#include <functional>

namespace ui {

class CSkin {
  public:
    // The window's own handling of an event, behind the skin.
    using EventHandler = std::function<void(const SDL_Event&)>;

    // Loads bitmap resource `resourceId` into the skin's surface. When it cannot be loaded the
    // user is told ("Skins loading failed") and the skin goes on with an empty surface.
    explicit CSkin(uint16_t resourceId);
    // Steps aside, then frees the surface.
    virtual ~CSkin();
    CSkin(const CSkin&) = delete;
    CSkin& operator=(const CSkin&) = delete;

    // Puts the skin in front of `window` (stepping aside from an earlier window first) and asks
    // for a repaint. False without a window.
    bool Hook(SDL_Window* window);
    // Steps aside: the window's events go straight to its own handlers again, and it is
    // repainted. A drag in progress ends without its press. False when not hooked.
    bool Unhook();
    // Repaints the whole window when hooked and holding a picture.
    bool Refresh();
    bool IsHooked() const { return m_pWindow != nullptr; }
    // The window the skin stands in front of; none when not hooked.
    SDL_Window* GetWindow() const { return m_pWindow; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    // The surface to draw on; none when it could not be made.
    SDL_Surface* GetSurface() const { return m_pSurface; }
    // True while a press is dragging the window.
    bool IsDragging() const { return m_bDragging; }

    // An event of the hooked window, before `next`, the window's own handling: a repaint paints
    // the face first, and a left press outside the exit strip starts a drag and reaches `next`
    // only when the drag ends, just before the event that ended it. Everything else goes on to
    // `next` at once. Without a window the skin hands every event on untouched.
    void HandleEvent(const SDL_Event& event, const EventHandler& next);

  private:
    void PaintFace();
    void BeginDrag(const SDL_Event& press);
    void FollowPointer();
    // Ends the drag and hands the held press on, so the window's handler sees where the pointer
    // came to rest.
    void EndDrag(const EventHandler& next);

    SDL_Window* m_pWindow = nullptr;
    SDL_Surface* m_pSurface = nullptr;  // the picture, converted to the window surface's layout
    bool m_bHasPicture = false;
    int m_nWidth = 0;
    int m_nHeight = 0;

    // The drag in progress: the press that started it (held back until the release), and where
    // the pointer and the window were at that moment, in screen coordinates.
    bool m_bDragging = false;
    SDL_Event m_dragPress{};
    SDL_Point m_dragPointer{0, 0};
    SDL_Point m_dragWindow{0, 0};
};

}  // namespace ui
