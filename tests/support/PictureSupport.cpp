#include "tests/support/PictureSupport.h"

#include <cstdlib>

namespace txtest {

HeadlessVideo::HeadlessVideo() {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    m_ok = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0;
}

HeadlessVideo::~HeadlessVideo() {
    if (m_ok) SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

Uint32 ReadPixel(SDL_Surface* surface, int x, int y) {
    // Copied into a pixel of a known layout, whatever the surface's own is.
    SDL_Surface* pixel = SDL_CreateRGBSurfaceWithFormat(0, 1, 1, 32, SDL_PIXELFORMAT_RGB888);
    SDL_Rect spot{x, y, 1, 1};
    SDL_BlitSurface(surface, &spot, pixel, nullptr);
    const Uint32 colour = *static_cast<const Uint32*>(pixel->pixels) & 0xFFFFFF;
    SDL_FreeSurface(pixel);
    return colour;
}

}  // namespace txtest
