// The pictures as the SDL window and the tablets' browsers see them: decoded, sized, fitting the
// skin, the MCDU picture's keys where the page's map puts them, and drawn the same by every run of
// the generator.

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "res/Resources.h"
#include "tests/support/TestSupport.h"
#include "web/McduKeyTable.h"

namespace {

struct Rgb {
    int r, g, b;
    int Max() const { return std::max({r, g, b}); }
    int DistanceTo(const Rgb& o) const {
        return std::abs(r - o.r) + std::abs(g - o.g) + std::abs(b - o.b);
    }
};

// A picture decoded by SDL_image, in RGBA.
class Picture {
  public:
    static Picture Of(std::span<const unsigned char> bytes) {
        return Picture(IMG_Load_RW(SDL_RWFromConstMem(bytes.data(), int(bytes.size())), 1));
    }
    static Picture FromFile(const std::string& path) { return Picture(IMG_Load(path.c_str())); }
    int width() const { return m_surface ? m_surface->w : 0; }
    int height() const { return m_surface ? m_surface->h : 0; }
    Rgb At(int x, int y) const {
        const unsigned char* p = Pixel(x, y);
        return {p[0], p[1], p[2]};
    }
    int Alpha(int x, int y) const { return Pixel(x, y)[3]; }

  private:
    explicit Picture(SDL_Surface* loaded) {
        if (loaded == nullptr) return;
        m_surface.reset(SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0));
        SDL_FreeSurface(loaded);
    }
    const unsigned char* Pixel(int x, int y) const {
        return static_cast<const unsigned char*>(m_surface->pixels) + y * m_surface->pitch + x * 4;
    }
    struct Free {
        void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
    };
    std::unique_ptr<SDL_Surface, Free> m_surface;
};

class ImageSupport : public ::testing::Environment {
  public:
    void SetUp() override { IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG); }
    void TearDown() override { IMG_Quit(); }
};
const auto* const kImageSupport = ::testing::AddGlobalTestEnvironment(new ImageSupport);

Picture Resource(const char* name, const char* type) {
    return Picture::Of(res::FindResource(name, type));
}

TEST(PicturesTest, EachDecodesAtItsSizeAndTheIconHasTransparentCorners) {
    EXPECT_EQ(Resource("#129", "BITMAP").width(), 320);
    EXPECT_EQ(Resource("#129", "BITMAP").height(), 320);
    EXPECT_EQ(Resource("BITMAP_BTNONLINE_0", "BMP").width(), 144);
    EXPECT_EQ(Resource("BITMAP_BTNONLINE_1", "BMP").height(), 144);
    EXPECT_EQ(Resource("BITMAP_BTNEXIT_0", "BMP").width(), 80);
    EXPECT_EQ(Resource("BITMAP_BTNEXIT_1", "BMP").height(), 25);
    for (int size : {256, 128, 64, 48, 32}) {
        const Picture icon = Picture::Of(res::FindIcon(res::kIconName, size));
        ASSERT_EQ(icon.width(), size) << IMG_GetError();
        EXPECT_EQ(icon.height(), size);
        EXPECT_EQ(icon.Alpha(0, 0), 0) << size;
        EXPECT_EQ(icon.Alpha(size - 1, 0), 0) << size;
        EXPECT_EQ(icon.Alpha(size / 2, size / 2), 255) << size;
    }
}

// The window's look depends on these: the lamps sit seamlessly on the skin and are the right
// colours, the hovered exit strip is lighter, and the address band stays dark for green text.
TEST(PicturesTest, TheWindowPicturesFitTheSkin) {
    const Picture skin = Resource("#129", "BITMAP");
    const Picture red = Resource("BITMAP_BTNONLINE_0", "BMP");
    const Picture green = Resource("BITMAP_BTNONLINE_1", "BMP");
    for (const Picture* lamp : {&red, &green}) {
        ASSERT_EQ(lamp->width(), 144);
        for (int i = 0; i < 144; i += 11) {
            for (auto [x, y] : {std::pair{i, 0}, {0, i}, {143, i}, {i, 143}}) {
                EXPECT_LE(lamp->At(x, y).DistanceTo(skin.At(87 + x, 87 + y)), 6) << x << "," << y;
            }
        }
    }
    // Over the lens as a whole (its middle holds a highlight), the lamp's own colour dominates.
    auto lens = [](const Picture& lamp) {
        Rgb sum{0, 0, 0};
        for (auto [x, y] : {std::pair{42, 72}, {102, 72}, {72, 42}, {72, 102}, {50, 94}}) {
            const Rgb p = lamp.At(x, y);
            sum = {sum.r + p.r, sum.g + p.g, sum.b + p.b};
        }
        return sum;
    };
    const Rgb redLens = lens(red), greenLens = lens(green);
    EXPECT_GT(redLens.r, 2 * std::max(redLens.g, redLens.b));
    EXPECT_GT(greenLens.g, 2 * std::max(greenLens.r, greenLens.b));
    const Picture exitNormal = Resource("BITMAP_BTNEXIT_0", "BMP");
    const Picture exitHover = Resource("BITMAP_BTNEXIT_1", "BMP");
    long normal = 0, hover = 0;
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < 80; ++x) {
            const Rgb n = exitNormal.At(x, y), h = exitHover.At(x, y);
            normal += n.r + n.g + n.b;
            hover += h.r + h.g + h.b;
        }
    }
    EXPECT_GT(hover, normal * 5 / 4);
    for (int y = 284; y < 295; ++y) {
        for (int x = 166; x < 318; ++x) ASSERT_LE(skin.At(x, y).Max(), 40) << x << "," << y;
    }
}

// Widened to double, plus one half, truncated: how the page writes a coordinate.
int PageCoordinate(float value) {
    return static_cast<int>(static_cast<double>(value) + 0.5);
}

TEST(PicturesTest, TheMcduPictureHasADarkScreenAndAKeyUnderEachArea) {
    const std::string www = std::string(TX_BIN_DIR) + "/../www/";
    EXPECT_EQ(Picture::FromFile(www + "busbanner.jpg").width(), 619);
    const Picture mcdu = Picture::FromFile(www + "mcdu_bg.jpg");
    ASSERT_EQ(mcdu.width(), 576) << IMG_GetError();
    EXPECT_GE(mcdu.height(), 903);
    // The display is painted over 103,72 .. 473,436 and lets black through.
    for (int y = 74; y < 434; ++y) {
        for (int x = 105; x < 471; ++x) ASSERT_LE(mcdu.At(x, y).Max(), 16) << x << "," << y;
    }
    const Rgb body = mcdu.At(35, 445);  // the plain grey unit under the last line select key
    EXPECT_GT(body.Max(), 20);
    for (const web::McduKey& key : web::McduKeyTable) {
        const int cy = PageCoordinate((key.y1 + key.y2) / 2.0f);
        EXPECT_GT(mcdu.At(PageCoordinate((key.x1 + key.x2) / 2.0f), cy).DistanceTo(body), 45)
            << key.label;
        EXPECT_GT(mcdu.At(PageCoordinate(key.x1) + 4, cy).DistanceTo(body), 30) << key.label;
    }
}

TEST(PicturesTest, TheGeneratorDrawsTheSameBytesEveryRun) {
    txtest::TempDir dir;
    txtest::ChildProcess generator;
    ASSERT_TRUE(generator.Start(txtest::BinaryPath("picture-gen"),
                                {dir.path() + "/res", dir.path() + "/www"}, {}));
    ASSERT_EQ(generator.Wait(std::chrono::seconds(120)), 0) << generator.Stderr();
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = std::filesystem::relative(entry.path(), dir.path());
        EXPECT_TRUE(txtest::ReadFile(entry.path()) ==
                    txtest::ReadFile(std::string(TX_BIN_DIR) + "/../" + relative))
            << relative;
        ++files;
    }
    EXPECT_GE(files, 13);
}

}  // namespace
