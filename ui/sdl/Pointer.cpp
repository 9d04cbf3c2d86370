#include "ui/sdl/Pointer.h"

#include <SDL_syswm.h>

#include <cstring>
#include <utility>

namespace ui {

namespace {

std::function<SDL_Point()>& MousePositionSource() {
    static std::function<SDL_Point()> source;
    return source;
}

bool DriverHasDesktop() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "dummy") != 0 &&
           std::strcmp(driver, "offscreen") != 0;
}

#if defined(SDL_VIDEO_DRIVER_X11)
// SDL's own global position on X11 is refreshed only by raw input events, which not every X
// server sends (Xvfb driven by XTEST does not), and it then lags behind. Asking the X server
// is always right. libX11 is loaded at run time, as SDL itself does, so the program does not
// depend on it where another video driver is used.
using QueryPointerFunction = Bool (*)(Display*, Window, Window*, Window*, int*, int*, int*, int*,
                                      unsigned int*);

QueryPointerFunction LoadQueryPointer() {
    static QueryPointerFunction function = [] {
        void* library = SDL_LoadObject("libX11.so.6");
        if (library == nullptr) return static_cast<QueryPointerFunction>(nullptr);
        return reinterpret_cast<QueryPointerFunction>(SDL_LoadFunction(library, "XQueryPointer"));
    }();
    return function;
}

bool QueryX11Pointer(SDL_Window* window, SDL_Point& point) {
    if (window == nullptr) return false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) {
        return false;
    }
    QueryPointerFunction queryPointer = LoadQueryPointer();
    if (queryPointer == nullptr) return false;
    Window root = 0;
    Window child = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned int buttons = 0;
    return queryPointer(info.info.x11.display, info.info.x11.window, &root, &child, &point.x,
                        &point.y, &windowX, &windowY, &buttons) != 0;
}
#else
bool QueryX11Pointer(SDL_Window*, SDL_Point&) {
    return false;
}
#endif

}  // namespace

SDL_Point GetGlobalMousePosition(SDL_Window* window) {
    if (MousePositionSource()) return MousePositionSource()();
    SDL_Point point{0, 0};
    if (DriverHasDesktop()) {
        if (!QueryX11Pointer(window, point)) SDL_GetGlobalMouseState(&point.x, &point.y);
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

FacePoint GetMousePositionInWindow(SDL_Window* window) {
    SDL_Point point{0, 0};
    if (!MousePositionSource() && !DriverHasDesktop()) {
        // Without a desktop SDL knows the pointer only relative to a window, and there is one.
        SDL_GetMouseState(&point.x, &point.y);
        return {point.x, point.y};
    }
    point = GetGlobalMousePosition(window);
    int x = 0;
    int y = 0;
    if (window != nullptr) SDL_GetWindowPosition(window, &x, &y);
    return {point.x - x, point.y - y};
}

void SetMousePositionSource(std::function<SDL_Point()> source) {
    MousePositionSource() = std::move(source);
}

}  // namespace ui
