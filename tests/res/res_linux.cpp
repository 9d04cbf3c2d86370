// The pictures as the SDL window and the tablets' browsers see them, decoded: the window's
// pictures mean what they show, and the MCDU picture's keys sit where the page's map puts them.

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "res/Resources.h"
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
    // All channels of all pixels summed: how light the picture is.
    long Brightness() const {
        long sum = 0;
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x) sum += At(x, y).r + At(x, y).g + At(x, y).b;
        return sum;
    }

  private:
    std::shared_ptr<SDL_Surface> m_surface;
};

Picture Resource(const char* name, const char* type) {
    const auto bytes = res::FindResource(name, type);
    return Picture(IMG_Load_RW(SDL_RWFromConstMem(bytes.data(), int(bytes.size())), 1));
}

// The window's look depends on these: the lamps are the right colours, the hovered exit strip is
// lighter, and the address band stays dark for green text.
TEST(PicturesTest, TheWindowPicturesShowWhatTheyMean) {
    const Picture skin = Resource("#129", "BITMAP");
    const Picture red = Resource("BITMAP_BTNONLINE_0", "BMP");
    const Picture green = Resource("BITMAP_BTNONLINE_1", "BMP");
    ASSERT_EQ(skin.width() * skin.height(), 320 * 320);
    ASSERT_EQ(red.width() * red.height(), 144 * 144);
    ASSERT_EQ(green.width() * green.height(), 144 * 144);
    // Over the lens as a whole (its middle holds a highlight), the lamp's own colour dominates.
    auto lens = [](const Picture& lamp) {
        Rgb sum{0, 0, 0};
        for (auto [x, y] : {std::pair{42, 72}, {102, 72}, {72, 42}, {72, 102}, {50, 94}}) {
            const Rgb p = lamp.At(x, y);
            sum = {sum.r + p.r, sum.g + p.g, sum.b + p.b};
        }
        return sum;
    };
    EXPECT_GT(lens(red).r, 2 * std::max(lens(red).g, lens(red).b));
    EXPECT_GT(lens(green).g, 2 * std::max(lens(green).r, lens(green).b));
    EXPECT_GT(Resource("BITMAP_BTNEXIT_1", "BMP").Brightness(),
              Resource("BITMAP_BTNEXIT_0", "BMP").Brightness() * 5 / 4);
    for (int y = 284; y < 295; ++y)
        for (int x = 166; x < 318; ++x) ASSERT_LE(skin.At(x, y).Max(), 40) << x << "," << y;
}

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
