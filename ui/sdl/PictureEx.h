#pragma once
// A picture shown in a fixed place of the main window (the status lamp, the exit strip). The
// picture comes from the program's resources, is decoded once into an off-screen surface of its
// own size and painted by plain copy. Changing the picture is always Unload, Load, Draw. The
// control takes no input of its own: the main window handles presses and the pointer over it.
//
// Window thread only. All failures are told by the false result alone.

#include <SDL.h>

#include <cstddef>
#include <functional>
#include <string>

namespace ui {

class CPictureEx {
  public:
    CPictureEx() = default;
    virtual ~CPictureEx();
    CPictureEx(const CPictureEx&) = delete;
    CPictureEx& operator=(const CPictureEx&) = delete;

    // Binds the control to its place on the parent window (the control's window now exists);
    // `invalidate` asks the parent to repaint a rectangle of its client area.
    void Create(const SDL_Rect& place, std::function<void(const SDL_Rect&)> invalidate);

    // Finds resource `name` of `type`, copies it and decodes the copy. A resource that is not
    // there leaves the control as it was.
    bool LoadFromResource(const char* name, const char* type);
    // Decodes a BMP file held in memory and makes a surface of its size. Empties the control
    // first, so a failure leaves it without picture and surface. GIF data is refused.
    bool LoadFromMemory(const unsigned char* data, size_t size);
    // Resizes the control to width x height at its place and makes a fresh off-screen surface
    // of that size, filled with the menu colour. False without the control's window.
    bool CreateSurface(int width, int height);
    // Renders the picture into the surface and asks for the control to be repainted.
    bool Draw();
    // Releases picture and surface. The control is not repainted: it shows its last picture
    // until the next paint.
    void Unload();
    // Copies the surface onto `target` at the control's place, clipped to the control; draws
    // nothing without a surface.
    void OnPaint(SDL_Surface* target);

    void MoveWindow(const SDL_Rect& place);
    // The control's text is kept but never drawn: the picture replaces the control's painting.
    void SetWindowText(const char* text);
    const std::string& GetWindowText() const { return m_szText; }
    SDL_Rect GetPlace() const { return m_place; }
    SDL_Point GetPictureSize() const { return m_sizePicture; }
    bool HasWindow() const { return m_bHasWindow; }
    bool HasPicture() const { return m_pPicture != nullptr; }
    bool IsSurfaceReady() const { return m_bSurfaceReady; }

    // The colour a fresh surface is filled with (the menu background).
    static constexpr SDL_Color kMenuColour{240, 240, 240, 255};

  private:
    // Changes the control's place and repaints what it covered and what it covers now.
    void SetPlace(const SDL_Rect& place);

    SDL_Surface* m_pPicture = nullptr;  // the decoded picture, owned
    SDL_Point m_sizePicture{0, 0};      // its size in pixels
    SDL_Surface* m_hMemDC = nullptr;    // the off-screen surface, owned
    bool m_bSurfaceReady = false;
    bool m_bHasWindow = false;
    SDL_Rect m_place{0, 0, 0, 0};
    std::string m_szText;
    std::function<void(const SDL_Rect&)> m_invalidate;
};

}  // namespace ui
