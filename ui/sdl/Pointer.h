#pragma once
// Where the pointer is. Handlers read the pointer's position when they run rather than trusting
// the position an event carried, because a drag may have moved the window in between.

#include <SDL.h>

#include <functional>

#include "ui/FaceRect.h"

namespace ui {

// The pointer's position on the screen of `window`. Video drivers without a desktop (dummy,
// offscreen) have no screen pointer; there it is the pointer's place in the window that has the
// mouse, offset by that window's position.
SDL_Point GetGlobalMousePosition(SDL_Window* window);

// The pointer's current position in `window`, as the face takes it. Without a desktop it is the
// pointer's place in the window SDL last saw it in.
FacePoint GetMousePositionInWindow(SDL_Window* window);

// Replaces the source of the screen position (tests move a pointer of their own); an empty
// function restores the real pointer.
void SetMousePositionSource(std::function<SDL_Point()> source);

}  // namespace ui
