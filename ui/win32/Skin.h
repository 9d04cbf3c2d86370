#pragma once
// The main window's face and its way of being moved. The skin holds one bitmap resource in an
// off-screen drawing context, puts its own window procedure in front of the window's, paints the
// whole window from the picture, and turns a left press anywhere outside the exit strip into the
// system's window-move loop, since the window has no title bar. The drawing context is also the
// window's canvas: the address label is drawn into it and stays there.
//
// Window thread only.

#include <windows.h>

namespace ui {

class CSkin {
  public:
    // Loads bitmap resource `resourceId` of the program's module, converted to the screen's
    // format, into an off-screen context. When it cannot be loaded the user is told ("Skins
    // loading failed") and the skin goes on without a picture, its context still made.
    explicit CSkin(WORD resourceId);
    // Unhooks, then frees the context and the picture.
    virtual ~CSkin();
    CSkin(const CSkin&) = delete;
    CSkin& operator=(const CSkin&) = delete;

    // Installs the skin on `window` (unhooking from an earlier window first): its window region is
    // cleared, so the window keeps its full rectangle, and its procedure is replaced. False when
    // the procedure could not be replaced or the property not attached; the window is then left
    // with the procedure it had.
    bool Hook(HWND window);
    // Gives the window its previous procedure back and removes the property. False when not
    // hooked.
    bool Unhook();
    // Repaints the whole window when hooked and holding a picture.
    bool Refresh();
    bool IsHooked() const { return m_bHooked; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    // The context to draw into; none when it could not be made.
    HDC GetMemDC() const { return m_hMemDC; }

    // The skin's window procedure; it finds its skin through the window's "skin" property.
    static LRESULT CALLBACK SkinWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Name of the window property that leads the procedure to its skin.
    static constexpr const char* kPropertyName = "skin";

  private:
    void OnPaint(HWND window);
    void OnLButtonDown(HWND window);

    HWND m_hWnd = nullptr;
    WNDPROC m_pfnOldWndProc = nullptr;
    HDC m_hMemDC = nullptr;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOldBitmap = nullptr;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bHooked = false;
};

}  // namespace ui
