#pragma once
// Repainting a window. A window asks for a repaint by invalidating itself; the paint event then
// reaches its procedure at the window thread's next turn (or at once, through UpdateWindow). The
// paint event is SDL's "exposed" window event, so a repaint the system asks for and one the
// program asks for take the same path. A paint always redraws the whole window: the face is a
// few small copies.
//
// Window thread only, except InvalidateWindow, which only posts an event.

#include <SDL.h>

namespace ui {

// True for the event that asks a window to paint itself.
bool IsPaintEvent(const SDL_Event& event);
// The paint event for `window`.
SDL_Event MakePaintEvent(SDL_Window* window);

// Marks the window as needing a paint and posts one paint event, unless one is pending already.
void InvalidateWindow(SDL_Window* window);
// True while a paint is pending.
bool IsWindowInvalid(SDL_Window* window);
// When a paint is pending, hands the paint event to the window's procedure now.
void UpdateWindow(SDL_Window* window);

// Starts painting: the pending paint is done, and the returned surface (the window's own, or none)
// is where the paint goes.
SDL_Surface* BeginPaint(SDL_Window* window);
// Shows what was painted.
void EndPaint(SDL_Window* window);

}  // namespace ui
