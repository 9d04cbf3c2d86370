#include "ui/sdl/PictureEx.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "ui/ResourceFinder.h"
#include "ui/sdl/BmpDecoder.h"

namespace ui {

namespace {

// The off-screen surfaces use the window surface's usual layout, so painting is a plain copy.
constexpr Uint32 kSurfaceFormat = SDL_PIXELFORMAT_RGB888;

bool StartsWithGifSignature(const unsigned char* data, size_t size) {
    return size >= 3 && data[0] == 0x47 && data[1] == 0x49 && data[2] == 0x46;
}

}  // namespace

CPictureEx::~CPictureEx() {
    Unload();
}

void CPictureEx::Create(const SDL_Rect& place, std::function<void(const SDL_Rect&)> repaint) {
    m_fnRepaint = std::move(repaint);
    m_bCreated = true;
    SetPlace(place);
}

bool CPictureEx::LoadFromResource(const char* name, const char* type) {
    if (name == nullptr || type == nullptr) return false;
    const auto resource = ui::FindProgramResource(name, type);
    if (resource.empty()) return false;
    // The decoder works on a copy of its own; the copy goes as soon as the picture is decoded.
    const std::vector<unsigned char> copy(resource.begin(), resource.end());
    return LoadFromMemory(copy.data(), copy.size());
}

bool CPictureEx::LoadFromMemory(const unsigned char* data, size_t size) {
    Unload();
    if (data == nullptr || size == 0) return false;
    if (StartsWithGifSignature(data, size)) return false;  // no animator: still BMP pictures only
    m_pPicture = ui::DecodeBmp(data, size);
    if (m_pPicture == nullptr) return false;
    m_pictureSize = {m_pPicture->w, m_pPicture->h};
    return CreateSurface(m_pictureSize.x, m_pictureSize.y);
}

bool CPictureEx::CreateSurface(int width, int height) {
    if (!m_bCreated) return false;
    if (width < 0 || height < 0) return false;
    SetPlace({m_place.x, m_place.y, width, height});
    if (m_pSurface != nullptr) {
        SDL_FreeSurface(m_pSurface);
        m_pSurface = nullptr;
        m_bSurfaceReady = false;
    }
    m_pSurface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, kSurfaceFormat);
    if (m_pSurface == nullptr) return false;
    SDL_FillRect(m_pSurface, nullptr,
                 SDL_MapRGB(m_pSurface->format, kMenuColour.r, kMenuColour.g, kMenuColour.b));
    m_bSurfaceReady = true;
    return true;
}

bool CPictureEx::Draw() {
    if (!m_bSurfaceReady) return false;
    if (m_pPicture == nullptr) return false;
    SDL_Rect target{0, 0, m_pictureSize.x, m_pictureSize.y};
    const bool rendered = m_pPicture->w == m_pictureSize.x && m_pPicture->h == m_pictureSize.y
                              ? SDL_BlitSurface(m_pPicture, nullptr, m_pSurface, &target) == 0
                              : SDL_BlitScaled(m_pPicture, nullptr, m_pSurface, &target) == 0;
    if (!rendered) return false;
    if (m_fnRepaint) m_fnRepaint(m_place);
    return true;
}

void CPictureEx::Unload() {
    if (m_pPicture != nullptr) {
        SDL_FreeSurface(m_pPicture);
        m_pPicture = nullptr;
    }
    if (m_pSurface != nullptr) {
        SDL_FreeSurface(m_pSurface);
        m_pSurface = nullptr;
    }
    m_bSurfaceReady = false;
}

void CPictureEx::OnPaint(SDL_Surface* target) {
    if (target == nullptr || !m_bSurfaceReady || m_pSurface == nullptr) return;
    SDL_Rect source{0, 0, std::min(m_pictureSize.x, m_place.w),
                    std::min(m_pictureSize.y, m_place.h)};
    if (source.w <= 0 || source.h <= 0) return;
    SDL_Rect destination{m_place.x, m_place.y, source.w, source.h};
    SDL_BlitSurface(m_pSurface, &source, target, &destination);
}

void CPictureEx::Move(const SDL_Rect& place) {
    if (!m_bCreated) return;
    SetPlace(place);
}

void CPictureEx::SetPlace(const SDL_Rect& place) {
    const SDL_Rect old = m_place;
    if (SDL_RectEquals(&old, &place)) return;
    m_place = place;
    if (!m_fnRepaint) return;
    if (old.w > 0 && old.h > 0) m_fnRepaint(old);
    if (place.w > 0 && place.h > 0) m_fnRepaint(place);
}

}  // namespace ui
