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

namespace ui {

class CPictureEx {
  public:
    CPictureEx() = default;
    virtual ~CPictureEx();
    CPictureEx(const CPictureEx&) = delete;
    CPictureEx& operator=(const CPictureEx&) = delete;

    // Binds the control to its place on the parent window; `repaint` asks the parent to repaint a
    // rectangle of itself.
    void Create(const SDL_Rect& place, std::function<void(const SDL_Rect&)> repaint);

    // Finds resource `name` of `type`, copies it and decodes the copy. A resource that is not
    // there leaves the control as it was.
    bool LoadFromResource(const char* name, const char* type);
    // Decodes a BMP file held in memory and makes a surface of its size. Empties the control
    // first, so a failure leaves it without picture and surface. GIF data is refused.
    bool LoadFromMemory(const unsigned char* data, size_t size);
    // Resizes the control to width x height at its place and makes a fresh off-screen surface
    // of that size, filled with the menu colour. False before Create.
    bool CreateSurface(int width, int height);
    // Renders the picture into the surface and asks for the control to be repainted.
    bool Draw();
    // Releases picture and surface. The control is not repainted: it shows its last picture
    // until the next paint.
    void Unload();
    // Copies the surface onto `target` at the control's place, clipped to the control; draws
    // nothing without a surface.
    void OnPaint(SDL_Surface* target);

    // Moves the control to `place`, whatever its picture's size.
    void Move(const SDL_Rect& place);
    SDL_Rect GetPlace() const { return m_place; }
    SDL_Point GetPictureSize() const { return m_pictureSize; }
    bool HasPicture() const { return m_pPicture != nullptr; }
    bool IsSurfaceReady() const { return m_bSurfaceReady; }

    // The colour a fresh surface is filled with (the menu background).
    static constexpr SDL_Color kMenuColour{240, 240, 240, 255};

  private:
    // Changes the control's place and repaints what it covered and what it covers now.
    void SetPlace(const SDL_Rect& place);

    SDL_Surface* m_pPicture = nullptr;  // the decoded picture, owned
    SDL_Point m_pictureSize{0, 0};      // its size in pixels
    SDL_Surface* m_pSurface = nullptr;  // the off-screen surface, owned
    bool m_bSurfaceReady = false;
    bool m_bCreated = false;
    SDL_Rect m_place{0, 0, 0, 0};
    std::function<void(const SDL_Rect&)> m_fnRepaint;
};

}  // namespace ui
