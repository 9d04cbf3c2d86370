#pragma once
// The fixed places on the main window's face, in client pixels. A point is inside a rectangle when
// left <= x < right and top <= y < bottom: the right and bottom edges are outside, which is the
// rule of PtInRect.

#include <windows.h>

namespace ui {

// The exit strip: a press ends the program, the pointer over it lights the strip up and shows the
// hand; a press here never drags the window. It reaches the window's right edge.
inline constexpr RECT g_rcExitButton{240, 243, 320, 268};
// The status lamp: a press on it only drags the window.
inline constexpr RECT g_rcOnlinePicture{87, 87, 231, 231};
// Where the server's address is written; a press opens it in the browser.
inline constexpr RECT g_rcAddressLink{166, 284, 318, 295};

inline bool IsPointInRect(const RECT& rect, POINT point) {
    return PtInRect(&rect, point) != FALSE;
}

// The pointer's current place in `window`'s client coordinates; messages' own positions are not
// used, since a drag may have moved the window under the pointer since the message was made.
inline POINT GetClientCursorPos(HWND window) {
    POINT point{};
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    return point;
}

}  // namespace ui
