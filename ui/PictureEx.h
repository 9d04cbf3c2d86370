#pragma once
// A picture shown in a fixed place of the main window (the status lamp, the exit strip). The
// picture comes from the program's resources, is decoded once into an off-screen surface of its
// own size and painted by plain copy. Changing the picture is always Unload, Load, Draw. The
// control takes no input of its own: the main window handles presses and the pointer over it.

#include <SDL.h>

#include <cstddef>
#include <functional>

class CPictureEx {
public:
    CPictureEx() = default;
    virtual ~CPictureEx();
    CPictureEx(const CPictureEx&) = delete;
    CPictureEx& operator=(const CPictureEx&) = delete;

    // Binds the control to its place on the parent window (the control's window now exists);
    // `invalidate` asks the parent to repaint a rectangle of its client area.
    void Create(const SDL_Rect& place, std::function<void(const SDL_Rect&)> invalidate);

    bool LoadFromResource(const char* name, const char* type);
    bool LoadFromMemory(const unsigned char* data, size_t size);
    bool CreateSurface(int width, int height);
    bool Draw();
    void Unload();
    // Copies the surface onto `target` at the control's place; draws nothing without a surface.
    void OnPaint(SDL_Surface* target);

    void MoveWindow(const SDL_Rect& place);
    void SetWindowText(const char* text);
    SDL_Rect GetPlace() const { return m_place; }
    SDL_Point GetPictureSize() const { return m_sizePicture; }
    bool HasWindow() const { return m_bHasWindow; }
    bool IsSurfaceReady() const { return m_bSurfaceReady; }

private:
    SDL_Surface* m_pPicture = nullptr;   // the decoded picture, owned
    SDL_Point m_sizePicture{0, 0};       // its size in pixels
    SDL_Surface* m_hMemDC = nullptr;     // the off-screen surface, owned
    bool m_bSurfaceReady = false;
    bool m_bHasWindow = false;
    SDL_Rect m_place{0, 0, 0, 0};
    std::function<void(const SDL_Rect&)> m_invalidate;
};
