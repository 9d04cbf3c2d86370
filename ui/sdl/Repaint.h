#pragma once
// Repainting an SDL window. A repaint is asked for by pushing SDL's "exposed" window event, so a
// repaint the system asks for and one the program asks for take the same path through the event
// loop; the window carries a mark while one is on its way, so asking twice pushes one event. A
// repaint always redraws the whole window: the face is a few small copies.
//
// Window thread only.

#include <SDL.h>

namespace ui {

// True for the event that asks a window to repaint itself.
bool IsRepaintEvent(const SDL_Event& event);
// The repaint event for `window`.
SDL_Event MakeRepaintEvent(SDL_Window* window);

// Pushes one repaint event for the window, unless one is on its way already.
void AskRepaint(SDL_Window* window);
// True while a repaint is on its way.
bool IsRepaintAsked(SDL_Window* window);

// Starts the repaint: the mark is taken off, and the window's surface (none without a window) is
// where the paint goes. SDL_UpdateWindowSurface shows it.
SDL_Surface* TakeRepaint(SDL_Window* window);

}  // namespace ui
