#pragma once
// The hand pointer shown over the exit strip and the address strip. It is made once per process:
// a failed attempt is never repeated, and the default pointer then stays for good.

#include <SDL.h>

namespace ui {

// Set once the one attempt to make the hand pointer has been made, whether it worked or not.
extern bool g_bHandCursorMade;

using CursorMaker = SDL_Cursor* (*)();

// A private copy of the system's hand pointer, or none when the video driver cannot make one.
SDL_Cursor* MakeHandCursor();

// Replaces the maker (tests count the attempts); none restores the system's.
void SetHandCursorMaker(CursorMaker maker);

}  // namespace ui
