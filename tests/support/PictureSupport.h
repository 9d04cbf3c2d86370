#pragma once
// Helpers for the window tests on SDL: a headless video session and a pixel read back from a
// surface.

#include <SDL.h>

namespace txtest {

// SDL's video on the dummy driver for the life of the object.
class HeadlessVideo {
  public:
    HeadlessVideo();
    ~HeadlessVideo();
    HeadlessVideo(const HeadlessVideo&) = delete;
    bool ok() const { return m_ok; }

  private:
    bool m_ok = false;
};

// Pixel (x, y) of a surface as 0xRRGGBB.
Uint32 ReadPixel(SDL_Surface* surface, int x, int y);

}  // namespace txtest
