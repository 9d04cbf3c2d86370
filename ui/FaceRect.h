#pragma once
// A place on the main window's face in client pixels, and the face's fixed places, the same on
// every window system. A point is inside a place when left <= x < right and top <= y < bottom: the
// right and bottom edges are outside, as Windows' PtInRect and SDL's SDL_PointInRect count them.

namespace ui {

struct FacePoint {
    int x = 0;
    int y = 0;
};

struct FaceRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool Contains(FacePoint point) const {
        return point.x >= left && point.x < right && point.y >= top && point.y < bottom;
    }
};

// The exit strip: a press ends the program, the pointer over it lights the strip up and shows the
// hand; a press here never drags the window. It reaches the window's right edge.
inline constexpr FaceRect g_rcExitButton{240, 243, 320, 268};
// The status lamp: a press on it only drags the window.
inline constexpr FaceRect g_rcOnlinePicture{87, 87, 231, 231};
// Where the server's address is written; a press opens it in the browser.
inline constexpr FaceRect g_rcAddressLink{166, 284, 318, 295};

}  // namespace ui
