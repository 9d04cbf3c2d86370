#pragma once
// Window procedures and named properties for SDL windows. Every event of a window goes through one
// replaceable function, the window's procedure, and a window can carry named pointers, its
// properties. That is what lets the skin hook itself in front of the main window's own handlers,
// and later step aside again, without either knowing the other.
//
// Both live in the SDL window's own data, so they go with the window. Window thread only.

#include <SDL.h>

#include <cstdint>

namespace ui {

using WindowResult = intptr_t;
using WindowProcedure = WindowResult (*)(SDL_Window* window, const SDL_Event& event);

// What a window without a procedure of its own does with an event: a paint shows the window's
// surface as it is; everything else is ignored. The result is 0.
WindowResult DefaultWindowProcedure(SDL_Window* window, const SDL_Event& event);

// The window's procedure, or none when nobody has set one.
WindowProcedure GetWindowProcedure(SDL_Window* window);

// Installs `procedure` (none: the default) and passes back the one it replaces (none when the
// window had none). False, and nothing changed, without a window.
bool SetWindowProcedure(SDL_Window* window, WindowProcedure procedure,
                        WindowProcedure* previous = nullptr);

// Runs `procedure` on the event, or the default procedure when there is none.
WindowResult CallWindowProcedure(WindowProcedure procedure, SDL_Window* window,
                                 const SDL_Event& event);

// Hands the event to the window's current procedure.
WindowResult SendWindowEvent(SDL_Window* window, const SDL_Event& event);

// Attaches the property `name` with `value`, replacing an earlier one. False without a window or
// a name, or with a null value.
bool SetProp(SDL_Window* window, const char* name, void* value);
// The property's value, or none.
void* GetProp(SDL_Window* window, const char* name);
// Removes the property and returns what it held (none when it was not there).
void* RemoveProp(SDL_Window* window, const char* name);

}  // namespace ui
