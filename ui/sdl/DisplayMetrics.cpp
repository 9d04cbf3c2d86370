#include "ui/DisplayMetrics.h"

#include <SDL.h>

namespace ui {

DisplaySize UsableDisplaySize() {
    SDL_Rect usable{0, 0, 0, 0};
    if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0)
        return {usable.w, usable.h};
    SDL_DisplayMode mode{};
    if (SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0)
        return {mode.w, mode.h};
    return {1024, 768};
}

}  // namespace ui
