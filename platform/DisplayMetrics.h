#pragma once
// The usable area of the primary display (what a maximised window's client area gets).

#include <SDL.h>

namespace platform {

// Width and height of the primary display's usable area; 1024 x 768 when none can be read
// (headless runs).
SDL_Point UsableDisplaySize();

}  // namespace platform
