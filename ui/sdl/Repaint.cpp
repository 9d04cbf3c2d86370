#include "ui/sdl/Repaint.h"

namespace ui {

namespace {

// Kept in the window's data: any non-null value means that a repaint event is on its way.
constexpr const char* kRepaintAskedSlot = "repaint-asked";
char g_repaintAskedMark = 1;

}  // namespace

bool IsRepaintEvent(const SDL_Event& event) {
    return event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED;
}

SDL_Event MakeRepaintEvent(SDL_Window* window) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_EXPOSED;
    event.window.windowID = window != nullptr ? SDL_GetWindowID(window) : 0;
    event.window.timestamp = SDL_GetTicks();
    return event;
}

void AskRepaint(SDL_Window* window) {
    if (window == nullptr || IsRepaintAsked(window)) return;
    SDL_Event repaint = MakeRepaintEvent(window);
    // Without an event queue the mark stays off, so a later call tries again.
    if (SDL_PushEvent(&repaint) == 1)
        SDL_SetWindowData(window, kRepaintAskedSlot, &g_repaintAskedMark);
}

bool IsRepaintAsked(SDL_Window* window) {
    return window != nullptr && SDL_GetWindowData(window, kRepaintAskedSlot) != nullptr;
}

SDL_Surface* TakeRepaint(SDL_Window* window) {
    if (window == nullptr) return nullptr;
    SDL_SetWindowData(window, kRepaintAskedSlot, nullptr);
    // The window's surface is kept in memory and handed to the window system as it is. Left to
    // itself, SDL may instead put an OpenGL renderer behind it, for which it remakes the window:
    // the window would vanish and come back at start-up, for no gain with a few small copies.
    // The environment variable of the same name still decides when set.
    const char* acceleration = SDL_GetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
    if (acceleration == nullptr) {
        SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
    }
    return SDL_GetWindowSurface(window);
}

}  // namespace ui
