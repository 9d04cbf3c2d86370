#pragma once
// Helpers for the window tests: a headless SDL video session, BMP files made on the spot, a
// resource table of the test's own, and pixel reading.

#include <SDL.h>

#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace txtest {

// SDL's video on the dummy driver for the life of the object.
class HeadlessVideo {
  public:
    HeadlessVideo();
    ~HeadlessVideo();
    HeadlessVideo(const HeadlessVideo&) = delete;
    HeadlessVideo& operator=(const HeadlessVideo&) = delete;
    bool ok() const { return m_ok; }

  private:
    bool m_ok = false;
};

// A complete BMP file (file header, 40-byte information header, 24 bits, bottom-up rows) of
// width x height pixels, coloured by `colour(x, y)` with y counted from the top.
std::vector<unsigned char> MakeBmp(int width, int height,
                                   const std::function<SDL_Color(int x, int y)>& colour);
// One colour all over.
std::vector<unsigned char> MakePlainBmp(int width, int height, SDL_Color colour);

// A resource table of the test's own, put in front of the program's for the life of the object.
// Names not in it are passed on to the program's table unless `exclusive`.
class FakeResources {
  public:
    explicit FakeResources(bool exclusive = true);
    ~FakeResources();
    FakeResources(const FakeResources&) = delete;
    FakeResources& operator=(const FakeResources&) = delete;
    void Add(const std::string& name, const std::string& type, std::vector<unsigned char> bytes);
    void Remove(const std::string& name, const std::string& type);
    // Names that are refused even when the program's table has them.
    void Hide(const std::string& name, const std::string& type);
    // Ends a Hide.
    void Show(const std::string& name, const std::string& type);
    std::span<const unsigned char> Find(std::string_view name, std::string_view type) const;

  private:
    bool m_exclusive;
    std::map<std::pair<std::string, std::string>, std::vector<unsigned char>> m_table;
    std::map<std::pair<std::string, std::string>, bool> m_hidden;
};

SDL_Color ReadPixel(SDL_Surface* surface, int x, int y);
bool SameColour(SDL_Color a, SDL_Color b);
// The average of r + g + b over `rect` of `surface`.
double MeanBrightness(SDL_Surface* surface, const SDL_Rect& rect);

}  // namespace txtest
