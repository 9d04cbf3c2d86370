#include "ui/Pointer.h"

#include <cstring>
#include <utility>

namespace ui {

namespace {

std::function<SDL_Point()>& CursorPosSource() {
    static std::function<SDL_Point()> source;
    return source;
}

bool DriverHasDesktop() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "dummy") != 0 &&
           std::strcmp(driver, "offscreen") != 0;
}

}  // namespace

SDL_Point GetCursorPos() {
    if (CursorPosSource()) return CursorPosSource()();
    SDL_Point point{0, 0};
    if (DriverHasDesktop()) {
        SDL_GetGlobalMouseState(&point.x, &point.y);
        return point;
    }
    SDL_GetMouseState(&point.x, &point.y);
    if (SDL_Window* focus = SDL_GetMouseFocus()) {
        int x = 0;
        int y = 0;
        SDL_GetWindowPosition(focus, &x, &y);
        point.x += x;
        point.y += y;
    }
    return point;
}

SDL_Point ScreenToClient(SDL_Window* window, SDL_Point screen) {
    if (window == nullptr) return screen;
    int x = 0;
    int y = 0;
    SDL_GetWindowPosition(window, &x, &y);
    return {screen.x - x, screen.y - y};
}

SDL_Point GetClientCursorPos(SDL_Window* window) {
    if (!CursorPosSource() && !DriverHasDesktop()) {
        // Without a desktop SDL knows the pointer only relative to a window, and there is one.
        SDL_Point point{0, 0};
        SDL_GetMouseState(&point.x, &point.y);
        return point;
    }
    return ScreenToClient(window, GetCursorPos());
}

void SetCursorPosSource(std::function<SDL_Point()> source) {
    CursorPosSource() = std::move(source);
}

}  // namespace ui
