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

namespace {

void PutLittleEndian(std::vector<unsigned char>& out, size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

std::vector<unsigned char> MakeBmp(int width, int height,
                                   const std::function<SDL_Color(int x, int y)>& colour) {
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    const size_t pixelBytes = rowBytes * height;
    std::vector<unsigned char> file(54 + pixelBytes, 0);
    file[0] = 'B';
    file[1] = 'M';
    PutLittleEndian(file, 2, static_cast<uint32_t>(file.size()), 4);
    PutLittleEndian(file, 10, 54, 4);
    PutLittleEndian(file, 14, 40, 4);
    PutLittleEndian(file, 18, static_cast<uint32_t>(width), 4);
    PutLittleEndian(file, 22, static_cast<uint32_t>(height), 4);
    PutLittleEndian(file, 26, 1, 2);
    PutLittleEndian(file, 28, 24, 2);
    PutLittleEndian(file, 34, static_cast<uint32_t>(pixelBytes), 4);
    PutLittleEndian(file, 38, 3780, 4);  // 96 dpi
    PutLittleEndian(file, 42, 3780, 4);
    for (int y = 0; y < height; ++y) {
        // Bottom-up: the file's first row is the picture's last.
        const size_t row = 54 + rowBytes * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const SDL_Color c = colour(x, y);
            file[row + x * 3 + 0] = c.b;
            file[row + x * 3 + 1] = c.g;
            file[row + x * 3 + 2] = c.r;
        }
    }
    return file;
}

std::vector<unsigned char> MakePlainBmp(int width, int height, SDL_Color colour) {
    return MakeBmp(width, height, [colour](int, int) { return colour; });
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

void FakeResources::Remove(const std::string& name, const std::string& type) {
    m_table.erase({name, type});
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

double MeanBrightness(SDL_Surface* surface, const SDL_Rect& rect) {
    double sum = 0;
    int count = 0;
    for (int y = rect.y; y < rect.y + rect.h; ++y) {
        for (int x = rect.x; x < rect.x + rect.w; ++x) {
            const SDL_Color c = ReadPixel(surface, x, y);
            sum += c.r + c.g + c.b;
            ++count;
        }
    }
    return count > 0 ? sum / count : 0;
}

}  // namespace txtest
