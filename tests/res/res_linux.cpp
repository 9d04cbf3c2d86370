// The MCDU picture as the tablets' browsers see it, decoded: its screen dark where the display is
// painted over it, and its keys where the page's map puts them.

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "web/McduKeyTable.h"

namespace {

struct Rgb {
    int r, g, b;
    int Max() const { return std::max({r, g, b}); }
    int DistanceTo(const Rgb& o) const {
        return std::abs(r - o.r) + std::abs(g - o.g) + std::abs(b - o.b);
    }
};

// A picture decoded by SDL_image, in RGBA; zero-sized when it does not decode.
class Picture {
  public:
    explicit Picture(SDL_Surface* loaded)
        : m_surface(loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0) : nullptr,
                    SDL_FreeSurface) {
        SDL_FreeSurface(loaded);
    }
    int width() const { return m_surface ? m_surface->w : 0; }
    int height() const { return m_surface ? m_surface->h : 0; }
    Rgb At(int x, int y) const {
        const auto* p =
            static_cast<const unsigned char*>(m_surface->pixels) + y * m_surface->pitch + x * 4;
        return {p[0], p[1], p[2]};
    }

  private:
    std::shared_ptr<SDL_Surface> m_surface;
};

// Widened to double, plus one half, truncated: how the page writes a coordinate.
int PageCoordinate(float value) {
    return static_cast<int>(static_cast<double>(value) + 0.5);
}

TEST(PicturesTest, TheMcduPictureHasADarkScreenAndAKeyUnderEachArea) {
    const Picture mcdu(IMG_Load((std::string(TX_BIN_DIR) + "/../www/mcdu_bg.jpg").c_str()));
    ASSERT_EQ(mcdu.width(), 576) << IMG_GetError();
    EXPECT_GE(mcdu.height(), 903);
    // The display is painted over 103,72 .. 473,436 and lets black through.
    for (int y = 74; y < 434; ++y)
        for (int x = 105; x < 471; ++x) ASSERT_LE(mcdu.At(x, y).Max(), 16) << x << "," << y;
    const Rgb body = mcdu.At(35, 445);  // the plain grey unit under the last line select key
    EXPECT_GT(body.Max(), 20);
    for (const web::McduKey& key : web::McduKeyTable) {
        const int cy = PageCoordinate((key.y1 + key.y2) / 2.0f);
        EXPECT_GT(mcdu.At(PageCoordinate((key.x1 + key.x2) / 2.0f), cy).DistanceTo(body), 45)
            << key.label;
        EXPECT_GT(mcdu.At(PageCoordinate(key.x1) + 4, cy).DistanceTo(body), 30) << key.label;
    }
}

}  // namespace
