#pragma once
// The main window's face and its way of being moved. The skin holds one picture in an off-screen
// surface, puts its own procedure in front of the window's, paints the whole window from the
// picture, and turns a left press anywhere outside the exit strip into a drag of the window,
// which has no title bar. The surface is also the window's canvas: the address label is drawn
// into it and stays there.
//
// Window thread only.

#include <SDL.h>

#include <cstdint>

#include "ui/sdl/WindowProcedure.h"

namespace ui {

class CSkin {
  public:
    // Loads bitmap resource `resourceId` into the off-screen surface. When it cannot be loaded the
    // user is told ("Skins loading failed") and the skin goes on with an empty surface.
    explicit CSkin(uint16_t resourceId);
    // Unhooks, then frees the surface.
    virtual ~CSkin();
    CSkin(const CSkin&) = delete;
    CSkin& operator=(const CSkin&) = delete;

    // Installs the skin on `window` (unhooking from an earlier window first). False when the window
    // has no procedure to hand events on to or the property cannot be attached; the window is then
    // left as it was.
    bool Hook(SDL_Window* window);
    // Gives the window its previous procedure back and removes the property. False when not
    // hooked.
    bool Unhook();
    // Repaints the whole window when hooked and holding a picture.
    bool Refresh();
    bool IsHooked() const { return m_bHooked; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    // The surface to draw on; none when it could not be made.
    SDL_Surface* GetMemDC() const { return m_hMemDC; }
    // True while a press is dragging the window.
    bool IsDragging() const { return m_bDragging; }

    // The skin's window procedure, found by the window through its "skin" property.
    static ui::WindowResult SkinWndProc(SDL_Window* window, const SDL_Event& event);

    // Name of the window property that leads the procedure to its skin.
    static constexpr const char* kPropertyName = "skin";

  private:
    ui::WindowResult HandleEvent(SDL_Window* window, const SDL_Event& event);
    void PaintFace(SDL_Window* window);
    void BeginDrag(SDL_Window* window, const SDL_Event& press);
    void FollowPointer(SDL_Window* window);
    // Ends the drag and hands the held press on, so the window's handler sees where the pointer
    // came to rest.
    ui::WindowResult EndDrag(SDL_Window* window);

    SDL_Window* m_hWnd = nullptr;
    ui::WindowProcedure m_pfnOldWndProc = nullptr;
    SDL_Surface* m_hMemDC = nullptr;  // the picture, converted to the window surface's layout
    bool m_bHasPicture = false;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bHooked = false;

    // The drag in progress: the press that started it (held back until the release), and where
    // the pointer and the window were at that moment, in screen coordinates.
    bool m_bDragging = false;
    SDL_Event m_dragPress{};
    SDL_Point m_ptDragPointer{0, 0};
    SDL_Point m_ptDragWindow{0, 0};
};

}  // namespace ui
