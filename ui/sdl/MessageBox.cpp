#include "ui/MessageBox.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

namespace ui {

bool HasDisplay() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr) {
        const char* wanted = SDL_getenv("SDL_VIDEODRIVER");
        if (wanted != nullptr &&
            (std::strcmp(wanted, "dummy") == 0 || std::strcmp(wanted, "offscreen") == 0))
            return false;
        const char* x11 = SDL_getenv("DISPLAY");
        const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
        return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
    }
    return std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0;
}

void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    if (HasDisplay()) {
        const Uint32 flags =
            icon == MessageIcon::Error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        if (SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), nullptr) == 0) return;
    }
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

}  // namespace ui
