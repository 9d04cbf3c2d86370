#pragma once
// Draws an MCDU screen into the display image the remote MCDU page shows: "MCDU_Dspl.png", black
// everywhere, the 14 x 24 character cells inside the rectangle the page cuts out. The file is
// written beside itself under a temporary name and renamed over the old one, so a reader gets
// either the previous picture or the new one, never part of one.

#include <SDL.h>
#include <SDL_ttf.h>

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "tools/gauge-standin/McduScreen.h"

class McduRenderer {
  public:
    static constexpr int kImageWidth = 311;
    static constexpr int kImageHeight = 282;
    // Where the display stands in the image (x, y, width, height).
    static constexpr SDL_Rect kDisplayRect{19, 16, 273, 250};
    static constexpr const char* kFileName = "MCDU_Dspl.png";

    McduRenderer();
    ~McduRenderer();
    McduRenderer(const McduRenderer&) = delete;
    McduRenderer& operator=(const McduRenderer&) = delete;

    // False when the font could not be loaded; Error() says why.
    bool Ready() const { return m_large != nullptr && m_small != nullptr; }
    const std::string& Error() const { return m_error; }

    using SurfacePtr = std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)>;
    SurfacePtr Draw(const McduScreen& screen);

    // Writes the picture into `folder` (which must exist; it is never created). False with a
    // reason in `error` when it could not be written; the previous picture then stays.
    bool WritePng(const McduScreen& screen, const std::string& folder, std::string* error);

    // Top-left corner of a character cell inside the image.
    static SDL_Point CellOrigin(int row, int column);

  private:
    SDL_Surface* Glyph(char32_t ch, bool small);

    TTF_Font* m_large = nullptr;
    TTF_Font* m_small = nullptr;
    bool m_ttfStarted = false;
    std::string m_error;
    // White glyphs, coloured when drawn; made once per character and size.
    std::map<std::pair<char32_t, bool>, SDL_Surface*> m_glyphs;
};
