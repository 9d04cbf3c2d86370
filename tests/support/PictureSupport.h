#pragma once
// Helpers for the window tests on SDL: a headless video session, resources of the test's own, and
// a pixel read back from a surface.

#include <SDL.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

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

// Resources looked up by name in `table` before the program's table, for the life of the object:
// an empty entry is a missing picture.
struct FakeResources {
    FakeResources();
    ~FakeResources();
    FakeResources(const FakeResources&) = delete;
    std::map<std::string, std::vector<unsigned char>, std::less<>> table;
};

// Pixel (x, y) of a surface as 0xRRGGBB.
Uint32 ReadPixel(SDL_Surface* surface, int x, int y);

}  // namespace txtest
