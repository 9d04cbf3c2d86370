#pragma once
// Helpers for the window tests: a headless SDL video session, a resource table of the test's own,
// and pixel reading.

#include <SDL.h>

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

// A resource table of the test's own, put in front of the program's for the life of the object.
// Names not in it are passed on to the program's table unless `exclusive`.
class FakeResources {
  public:
    explicit FakeResources(bool exclusive = true);
    ~FakeResources();
    FakeResources(const FakeResources&) = delete;
    FakeResources& operator=(const FakeResources&) = delete;
    void Add(const std::string& name, const std::string& type, std::vector<unsigned char> bytes);
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

}  // namespace txtest
