#pragma once
// The fixed places on the main window's face, in client pixels. A point is inside a rectangle when
// left <= x < right and top <= y < bottom: the right and bottom edges are outside
// (SDL_PointInRect has exactly this rule).

#include <SDL.h>

namespace ui {

// SDL keeps a rectangle as origin and size; the places are easier to check as four edges.
constexpr SDL_Rect RectFromEdges(int left, int top, int right, int bottom) {
    return SDL_Rect{left, top, right - left, bottom - top};
}

// The exit strip: a press ends the program, the pointer over it lights the strip up and shows the
// hand; a press here never drags the window. It reaches the window's right edge.
inline constexpr SDL_Rect g_rcExitButton = RectFromEdges(240, 243, 320, 268);
// The status lamp: a press on it only drags the window.
inline constexpr SDL_Rect g_rcOnlinePicture = RectFromEdges(87, 87, 231, 231);
// Where the server's address is written; a press opens it in the browser.
inline constexpr SDL_Rect g_rcAddressLink = RectFromEdges(166, 284, 318, 295);

inline bool IsPointInRect(const SDL_Rect& rect, SDL_Point point) {
    return SDL_PointInRect(&point, &rect) == SDL_TRUE;
}

}  // namespace ui
