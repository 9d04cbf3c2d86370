#include "tests/support/PictureSupport.h"

#include <cstdlib>

#include "res/Resources.h"
#include "ui/ResourceFinder.h"

namespace txtest {

HeadlessVideo::HeadlessVideo() {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    m_ok = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0;
}

HeadlessVideo::~HeadlessVideo() {
    if (m_ok) SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

FakeResources::FakeResources(bool exclusive) : m_exclusive(exclusive) {
    ui::SetResourceFinder(
        [this](std::string_view name, std::string_view type) { return Find(name, type); });
}

FakeResources::~FakeResources() {
    ui::SetResourceFinder({});
}

void FakeResources::Add(const std::string& name, const std::string& type,
                        std::vector<unsigned char> bytes) {
    m_table[{name, type}] = std::move(bytes);
    m_hidden.erase({name, type});
}

void FakeResources::Hide(const std::string& name, const std::string& type) {
    m_table.erase({name, type});
    m_hidden[{name, type}] = true;
}

void FakeResources::Show(const std::string& name, const std::string& type) {
    m_hidden.erase({name, type});
}

std::span<const unsigned char> FakeResources::Find(std::string_view name,
                                                   std::string_view type) const {
    const std::pair<std::string, std::string> key{std::string(name), std::string(type)};
    if (m_hidden.count(key)) return {};
    if (auto found = m_table.find(key); found != m_table.end()) return found->second;
    if (m_exclusive) return {};
    return res::FindResource(name, type);
}

SDL_Color ReadPixel(SDL_Surface* surface, int x, int y) {
    SDL_Color colour{0, 0, 0, 0};
    if (surface == nullptr || x < 0 || y < 0 || x >= surface->w || y >= surface->h) return colour;
    SDL_LockSurface(surface);
    const auto* row = static_cast<const Uint8*>(surface->pixels) + y * surface->pitch;
    const Uint8* at = row + x * surface->format->BytesPerPixel;
    Uint32 value = 0;
    switch (surface->format->BytesPerPixel) {
        case 4:
            value = *reinterpret_cast<const Uint32*>(at);
            break;
        case 3:
            value = at[0] | (at[1] << 8) | (at[2] << 16);
            break;
        case 2:
            value = *reinterpret_cast<const Uint16*>(at);
            break;
        default:
            value = *at;
            break;
    }
    SDL_UnlockSurface(surface);
    SDL_GetRGBA(value, surface->format, &colour.r, &colour.g, &colour.b, &colour.a);
    return colour;
}

bool SameColour(SDL_Color a, SDL_Color b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

}  // namespace txtest
