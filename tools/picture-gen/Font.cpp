#include "tools/picture-gen/Font.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <cmath>
#include <stdexcept>

Font::Font(const std::string& path, int pixelSize) : m_path(path) {
    m_font = TTF_OpenFont(path.c_str(), pixelSize);
    if (m_font == nullptr) {
        throw std::runtime_error("cannot open font " + path + ": " + TTF_GetError());
    }
    TTF_SetFontHinting(m_font, TTF_HINTING_LIGHT);
    int minX = 0, maxX = 0, minY = 0, maxY = 0, advance = 0;
    if (TTF_GlyphMetrics32(m_font, 'H', &minX, &maxX, &minY, &maxY, &advance) == 0) {
        m_capHeight = maxY;
    } else {
        m_capHeight = TTF_FontAscent(m_font) * 7 / 10;
    }
}

Font::~Font() {
    if (m_font != nullptr) TTF_CloseFont(m_font);
}

TextMask Font::RenderRun(const std::string& text) const {
    TextMask mask;
    mask.ascent = TTF_FontAscent(m_font);
    if (text.empty()) return mask;
    SDL_Color white{255, 255, 255, 255};
    SDL_Surface* rendered = TTF_RenderUTF8_Blended(m_font, text.c_str(), white);
    if (rendered == nullptr) {
        throw std::runtime_error("cannot render \"" + text + "\" with " + m_path + ": " +
                                 TTF_GetError());
    }
    SDL_Surface* surface = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(rendered);
    if (surface == nullptr) throw std::runtime_error(std::string("SDL: ") + SDL_GetError());
    mask.width = surface->w;
    mask.height = surface->h;
    mask.alpha.resize(static_cast<std::size_t>(mask.width) * mask.height);
    const auto* pixels = static_cast<const unsigned char*>(surface->pixels);
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            mask.alpha[static_cast<std::size_t>(y) * mask.width + x] =
                static_cast<float>(pixels[y * surface->pitch + x * 4 + 3]) / 255.0f;
        }
    }
    SDL_FreeSurface(surface);
    return mask;
}

TextMask Font::Render(std::string_view text, int tracking) const {
    if (tracking == 0) return RenderRun(std::string(text));
    // Character by character, each followed by the extra space.
    std::vector<TextMask> pieces;
    int width = 0;
    for (char c : text) {
        pieces.push_back(RenderRun(std::string(1, c)));
        width += pieces.back().width + tracking;
    }
    TextMask mask;
    mask.ascent = TTF_FontAscent(m_font);
    if (pieces.empty()) return mask;
    width -= tracking;
    mask.width = std::max(width, 1);
    mask.height = pieces.front().height;
    mask.alpha.assign(static_cast<std::size_t>(mask.width) * mask.height, 0.0f);
    int x = 0;
    for (const TextMask& piece : pieces) {
        for (int j = 0; j < std::min(piece.height, mask.height); ++j) {
            for (int i = 0; i < piece.width && x + i < mask.width; ++i) {
                float& target = mask.alpha[static_cast<std::size_t>(j) * mask.width + x + i];
                target = std::min(1.0f, target + piece.alpha[j * piece.width + i]);
            }
        }
        x += piece.width + tracking;
    }
    return mask;
}

int Font::Width(std::string_view text, int tracking) const {
    return Render(text, tracking).width;
}

void Font::Draw(Canvas& canvas, std::string_view text, double x, double capMiddleY,
                const Color& color, Align align, int tracking) const {
    const TextMask mask = Render(text, tracking);
    double left = x;
    if (align == Align::Centre) left = x - mask.width / 2.0;
    if (align == Align::Right) left = x - mask.width;
    const double top = capMiddleY + m_capHeight / 2.0 - mask.ascent;
    canvas.DrawMask(mask.alpha, mask.width, static_cast<int>(std::lround(left)),
                    static_cast<int>(std::lround(top)), color);
}
