#pragma once
// A picture shown in one of the main window's static controls (the status lamp, the exit strip).
// The picture comes from the program's resources, is decoded once by the system's picture loader
// (OleLoadPicture) and rendered into an off-screen context of its own size, and the control paints
// by plain copy from there. Changing the picture is always Unload, LoadFromResource, Draw. The
// control takes no input of its own: a static control without the notify style lets presses and
// the pointer through to the main window.
//
// Window thread only. All failures are told by the false result alone.

#include <windows.h>
// The picture interface needs windows.h's types first.
#include <ocidl.h>

namespace ui {

class CPictureEx {
  public:
    CPictureEx() = default;
    virtual ~CPictureEx();
    CPictureEx(const CPictureEx&) = delete;
    CPictureEx& operator=(const CPictureEx&) = delete;

    // Binds the object to the static control `id` of `parent`, whose painting it takes over.
    // False when there is no such control.
    bool SubclassDlgItem(int id, HWND parent);

    // Finds resource `name` of `type` in the program's resources, copies it into a movable memory
    // block and decodes the copy. A resource that is not there leaves the control as it was.
    bool LoadFromResource(const char* name, const char* type);
    // Decodes the picture held in `block` (`size` bytes) and makes a surface of its size. Empties
    // the control first, so a failure leaves it without picture and surface. GIF data, which would
    // need the frame animator, is refused.
    bool LoadFromMemory(HGLOBAL block, DWORD size);
    // Resizes the control to width x height at its place and makes a fresh off-screen surface of
    // that size, filled with the menu colour. False without the control's window.
    bool CreateSurface(int width, int height);
    // Renders the picture into the surface, upright, and has the control repainted.
    bool Draw();
    // Releases picture and surface. The control is not repainted: it shows its last picture
    // until its next paint.
    void Unload();

    HWND GetSafeHwnd() const { return m_hWnd; }
    SIZE GetPictureSize() const { return m_pictureSize; }
    bool HasPicture() const { return m_pPicture != nullptr; }
    bool IsSurfaceReady() const { return m_bSurfaceReady; }

  private:
    static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    // The control is going: the object lets go of it.
    void Detach();

    HWND m_hWnd = nullptr;
    WNDPROC m_pfnOldWndProc = nullptr;
    IPicture* m_pPicture = nullptr;
    SIZE m_pictureSize{0, 0};
    HDC m_hMemDC = nullptr;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOldBitmap = nullptr;
    bool m_bSurfaceReady = false;
};

}  // namespace ui
