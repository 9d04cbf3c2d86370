#include "tools/gauge-standin/McduRenderer.h"

#include <SDL_image.h>
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
constexpr int kLargePoints = 19;
constexpr int kSmallPoints = 14;
constexpr int kBaseline = 15;  // pixels below the top of a line

SDL_Color ColourOf(McduColour colour) {
    switch (colour) {
        case McduColour::White:
            return {255, 255, 255, 255};
        case McduColour::Cyan:
            return {40, 215, 255, 255};
        case McduColour::Green:
            return {50, 255, 60, 255};
        case McduColour::Amber:
            return {255, 165, 0, 255};
        case McduColour::Magenta:
            return {255, 70, 255, 255};
    }
    return {255, 255, 255, 255};
}

// The font file: the usual place first, then whatever fontconfig knows by that name.
std::string FindFont() {
    struct stat info {};
    if (::stat(kFontPath, &info) == 0) return kFontPath;
    std::string found;
    if (!FcInit()) return found;
    FcPattern* pattern =
        FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans Mono:style=Bold"));
    if (pattern == nullptr) return found;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* file = nullptr;
    FcChar8* family = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
        FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
        std::strcmp(reinterpret_cast<const char*>(family), "DejaVu Sans Mono") == 0) {
        found = reinterpret_cast<const char*>(file);
    }
    if (match != nullptr) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return found;
}

}  // namespace

McduRenderer::McduRenderer() {
    if (TTF_Init() != 0) {
        m_error = std::string("TTF_Init failed: ") + TTF_GetError();
        return;
    }
    m_ttfStarted = true;
    const std::string font = FindFont();
    if (font.empty()) {
        m_error = "font DejaVu Sans Mono Bold not found (package fonts-dejavu-core)";
        return;
    }
    m_large = TTF_OpenFont(font.c_str(), kLargePoints);
    m_small = TTF_OpenFont(font.c_str(), kSmallPoints);
    if (m_large == nullptr || m_small == nullptr) {
        m_error = "cannot open font " + font + ": " + TTF_GetError();
        return;
    }
    TTF_SetFontHinting(m_large, TTF_HINTING_LIGHT);
    TTF_SetFontHinting(m_small, TTF_HINTING_LIGHT);
}

McduRenderer::~McduRenderer() {
    for (auto& [key, surface] : m_glyphs) SDL_FreeSurface(surface);
    if (m_large != nullptr) TTF_CloseFont(m_large);
    if (m_small != nullptr) TTF_CloseFont(m_small);
    if (m_ttfStarted) TTF_Quit();
}

SDL_Point McduRenderer::CellOrigin(int row, int column) {
    return {kDisplayRect.x + column * kDisplayRect.w / kMcduColumns,
            kDisplayRect.y + row * kDisplayRect.h / kMcduRows};
}

SDL_Surface* McduRenderer::Glyph(char32_t ch, bool small) {
    const auto key = std::make_pair(ch, small);
    if (auto found = m_glyphs.find(key); found != m_glyphs.end()) return found->second;
    SDL_Surface* glyph = TTF_RenderGlyph32_Blended(
        small ? m_small : m_large, static_cast<Uint32>(ch), SDL_Color{255, 255, 255, 255});
    if (glyph != nullptr) SDL_SetSurfaceBlendMode(glyph, SDL_BLENDMODE_BLEND);
    m_glyphs[key] = glyph;  // a glyph the font lacks stays null and is skipped
    return glyph;
}

McduRenderer::SurfacePtr McduRenderer::Draw(const McduScreen& screen) {
    SurfacePtr image(
        SDL_CreateRGBSurfaceWithFormat(0, kImageWidth, kImageHeight, 24, SDL_PIXELFORMAT_RGB24),
        &SDL_FreeSurface);
    if (!image || !Ready()) return image;
    SDL_FillRect(image.get(), nullptr, SDL_MapRGB(image->format, 0, 0, 0));
    // Nothing of a glyph may spill out of the rectangle the page cuts out.
    SDL_SetClipRect(image.get(), &kDisplayRect);
    const int cellWidth = kDisplayRect.w / kMcduColumns;
    for (int row = 0; row < kMcduRows; ++row) {
        for (int column = 0; column < kMcduColumns; ++column) {
            const McduCell& cell = screen[row][column];
            if (cell.ch == U' ') continue;
            SDL_Surface* glyph = Glyph(cell.ch, cell.small);
            if (glyph == nullptr) continue;
            const SDL_Color colour = ColourOf(cell.colour);
            SDL_SetSurfaceColorMod(glyph, colour.r, colour.g, colour.b);
            const SDL_Point origin = CellOrigin(row, column);
            SDL_Rect target{origin.x + (cellWidth - glyph->w + 1) / 2,
                            origin.y + kBaseline - TTF_FontAscent(cell.small ? m_small : m_large),
                            glyph->w, glyph->h};
            SDL_BlitSurface(glyph, nullptr, image.get(), &target);
        }
    }
    SDL_SetClipRect(image.get(), nullptr);
    return image;
}

bool McduRenderer::WritePng(const McduScreen& screen, const std::string& folder,
                            std::string* error) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = "folder " + folder + " does not exist";
        return false;
    }
    if (!Ready()) {
        *error = m_error;
        return false;
    }
    SurfacePtr image = Draw(screen);
    if (!image) {
        *error = std::string("cannot create the picture: ") + SDL_GetError();
        return false;
    }
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    const std::string target = base + kFileName;
    // No ".png" in the temporary name: nothing serves or reads it by mistake.
    const std::string temporary = base + "MCDU_Dspl.tmp-" + std::to_string(::getpid());
    if (IMG_SavePNG(image.get(), temporary.c_str()) != 0) {
        *error = "cannot write " + temporary + ": " + IMG_GetError();
        ::unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        *error = "cannot rename " + temporary + " to " + target + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}
