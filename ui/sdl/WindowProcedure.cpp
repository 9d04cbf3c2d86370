#include "ui/sdl/WindowProcedure.h"

#include <cstring>

#include "ui/sdl/WindowPaint.h"

namespace ui {

namespace {

// The procedure is kept in the window's data like a property, under a name no caller uses.
constexpr const char* kProcedureSlot = "\x01window-procedure";

static_assert(sizeof(void*) == sizeof(WindowProcedure),
              "a window procedure must fit in a window data slot");

bool IsPropertyName(const char* name) {
    return name != nullptr && *name != '\0' && std::strcmp(name, kProcedureSlot) != 0;
}

}  // namespace

WindowResult DefaultWindowProcedure(SDL_Window* window, const SDL_Event& event) {
    // A paint that nobody drew still has to be taken off the window and shown.
    if (IsPaintEvent(event)) {
        BeginPaint(window);
        EndPaint(window);
    }
    return 0;
}

WindowProcedure GetWindowProcedure(SDL_Window* window) {
    if (window == nullptr) return nullptr;
    return reinterpret_cast<WindowProcedure>(SDL_GetWindowData(window, kProcedureSlot));
}

bool SetWindowProcedure(SDL_Window* window, WindowProcedure procedure, WindowProcedure* previous) {
    if (window == nullptr) return false;
    void* old = SDL_SetWindowData(window, kProcedureSlot, reinterpret_cast<void*>(procedure));
    if (previous != nullptr) *previous = reinterpret_cast<WindowProcedure>(old);
    return true;
}

WindowResult CallWindowProcedure(WindowProcedure procedure, SDL_Window* window,
                                 const SDL_Event& event) {
    if (procedure == nullptr) return DefaultWindowProcedure(window, event);
    return procedure(window, event);
}

WindowResult SendWindowEvent(SDL_Window* window, const SDL_Event& event) {
    return CallWindowProcedure(GetWindowProcedure(window), window, event);
}

bool SetProp(SDL_Window* window, const char* name, void* value) {
    if (window == nullptr || !IsPropertyName(name) || value == nullptr) return false;
    SDL_SetWindowData(window, name, value);
    return true;
}

void* GetProp(SDL_Window* window, const char* name) {
    if (window == nullptr || !IsPropertyName(name)) return nullptr;
    return SDL_GetWindowData(window, name);
}

void* RemoveProp(SDL_Window* window, const char* name) {
    if (window == nullptr || !IsPropertyName(name)) return nullptr;
    return SDL_SetWindowData(window, name, nullptr);
}

}  // namespace ui
