#include "res/Resources.h"

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "web/McduKeyTable.h"

namespace {

using web::McduKey;
using web::McduKeyTable;

using Bytes = std::span<const unsigned char>;

std::uint32_t Read32(Bytes b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t Read16(Bytes b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

struct Rgb {
    int r, g, b;
    int Max() const { return std::max({r, g, b}); }
    int Sum() const { return r + g + b; }
    int DistanceTo(const Rgb& o) const {
        return std::abs(r - o.r) + std::abs(g - o.g) + std::abs(b - o.b);
    }
};

// A decoded picture in 24-bit RGB, decoded by SDL as the window and the tests' browser-side checks
// would see it.
class Picture {
  public:
    static Picture FromMemory(Bytes bytes) {
        SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
        return Picture(IMG_Load_RW(stream, 1));
    }
    static Picture FromFile(const std::string& path) { return Picture(IMG_Load(path.c_str())); }

    bool valid() const { return m_surface != nullptr; }
    int width() const { return m_surface ? m_surface->w : 0; }
    int height() const { return m_surface ? m_surface->h : 0; }
    Rgb At(int x, int y) const {
        const auto* p =
            static_cast<const unsigned char*>(m_surface->pixels) + y * m_surface->pitch + x * 4;
        return {p[0], p[1], p[2]};
    }
    int Alpha(int x, int y) const {
        return static_cast<const unsigned char*>(
            m_surface->pixels)[y * m_surface->pitch + x * 4 + 3];
    }
    bool HadAlpha() const { return m_hadAlpha; }

  private:
    explicit Picture(SDL_Surface* loaded) {
        if (loaded == nullptr) return;
        m_hadAlpha = SDL_ISPIXELFORMAT_ALPHA(loaded->format->format);
        m_surface.reset(SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0));
        SDL_FreeSurface(loaded);
    }
    struct Free {
        void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
    };
    std::unique_ptr<SDL_Surface, Free> m_surface;
    bool m_hadAlpha = false;
};

class ImageSupport : public ::testing::Environment {
  public:
    void SetUp() override { IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG); }
    void TearDown() override { IMG_Quit(); }
};
const auto* const kImageSupport = ::testing::AddGlobalTestEnvironment(new ImageSupport);

struct BmpResource {
    const char* name;
    const char* type;
    int width, height;
};
constexpr BmpResource kBmpResources[] = {
    {"#129", "BITMAP", 320, 320},
    {"BITMAP_BTNONLINE_0", "BMP", 144, 144},
    {"BITMAP_BTNONLINE_1", "BMP", 144, 144},
    {"BITMAP_BTNEXIT_0", "BMP", 80, 25},
    {"BITMAP_BTNEXIT_1", "BMP", 80, 25},
};

TEST(ResourcesTest, WindowPicturesAreComplete24BitBottomUpBmpFiles) {
    for (const BmpResource& r : kBmpResources) {
        SCOPED_TRACE(r.name);
        const Bytes bmp = res::FindResource(r.name, r.type);
        ASSERT_GE(bmp.size(), 54u);
        const std::uint32_t stride = (static_cast<std::uint32_t>(r.width) * 3 + 3) & ~3u;
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(Read32(bmp, 2), bmp.size());
        EXPECT_EQ(bmp.size(), 54u + stride * r.height);
        EXPECT_EQ(Read32(bmp, 10), 54u);  // pixels right after the two headers
        EXPECT_EQ(Read32(bmp, 14), 40u);
        EXPECT_EQ(static_cast<std::int32_t>(Read32(bmp, 18)), r.width);
        EXPECT_EQ(static_cast<std::int32_t>(Read32(bmp, 22)), r.height);  // positive: bottom-up
        EXPECT_EQ(Read16(bmp, 26), 1);
        EXPECT_EQ(Read16(bmp, 28), 24);
        EXPECT_EQ(Read32(bmp, 30), 0u);  // BI_RGB
        EXPECT_EQ(Read32(bmp, 46), 0u);  // no palette
        const Picture decoded = Picture::FromMemory(bmp);
        ASSERT_TRUE(decoded.valid()) << IMG_GetError();
        EXPECT_EQ(decoded.width(), r.width);
        EXPECT_EQ(decoded.height(), r.height);
    }
}

TEST(ResourcesTest, LookupNeedsTheRightNameAndType) {
    EXPECT_FALSE(res::FindResource("#129", "BITMAP").empty());
    EXPECT_FALSE(res::FindResource("BITMAP_BTNEXIT_1", "BMP").empty());
    // Names and types compare without regard to case, as resource names do.
    EXPECT_EQ(res::FindResource("bitmap_btnexit_1", "bmp").data(),
              res::FindResource("BITMAP_BTNEXIT_1", "BMP").data());

    EXPECT_TRUE(res::FindResource("#129", "BMP").empty());
    EXPECT_TRUE(res::FindResource("BITMAP_BTNONLINE_0", "BITMAP").empty());
    EXPECT_TRUE(res::FindResource("BITMAP_BTNONLINE_0", "ICON").empty());
    EXPECT_TRUE(res::FindResource("BITMAP_BTNONLINE_2", "BMP").empty());
    EXPECT_TRUE(res::FindResource("BITMAP_BTNONLINE_", "BMP").empty());
    EXPECT_TRUE(res::FindResource("", "BMP").empty());
    EXPECT_TRUE(res::FindResource("#128", "BMP").empty());
    EXPECT_TRUE(res::FindIcon("#129", 32).empty());
}

TEST(ResourcesTest, IconHasEverySizeWithTransparentCorners) {
    for (int size : {256, 128, 64, 48, 32}) {
        SCOPED_TRACE(size);
        const Picture icon = Picture::FromMemory(res::FindIcon(res::kIconName, size));
        ASSERT_TRUE(icon.valid()) << IMG_GetError();
        EXPECT_EQ(icon.width(), size);
        EXPECT_EQ(icon.height(), size);
        EXPECT_TRUE(icon.HadAlpha());
        EXPECT_EQ(icon.Alpha(0, 0), 0);
        EXPECT_EQ(icon.Alpha(size - 1, 0), 0);
        EXPECT_EQ(icon.Alpha(size / 2, size / 2), 255);
    }
    // Requests between sizes get the next larger image, beyond the largest the largest.
    EXPECT_EQ(Picture::FromMemory(res::FindIcon("#128", 40)).width(), 48);
    EXPECT_EQ(Picture::FromMemory(res::FindIcon("#128", 16)).width(), 32);
    EXPECT_EQ(Picture::FromMemory(res::FindIcon("#128", 1024)).width(), 256);
    EXPECT_EQ(res::FindResource("#128", "ICON").data(), res::FindIcon("#128", 256).data());
}

TEST(ResourcesTest, StringTable) {
    EXPECT_EQ(res::LoadResourceString(101), "&About TarvelXConnect Extended...");
    EXPECT_EQ(res::LoadResourceString(res::kIdsAboutVersion),
              "TarvelX Connect Extended. v.1.2.x.x.");
    EXPECT_FALSE(res::LoadResourceString(res::kIdsAboutDescription).empty());
    EXPECT_EQ(res::LoadResourceString(res::kIdsAboutTitle), "About program");
    EXPECT_EQ(res::LoadResourceString(0), "");
    EXPECT_EQ(res::LoadResourceString(100), "");
    EXPECT_EQ(res::LoadResourceString(-101), "");
}

// The window's look depends on these: the lamp and exit pictures sit seamlessly on the skin, the
// lamps are the right colours, the hovered strip is lighter and the address band stays dark
// enough for green text.
TEST(ResourcesTest, WindowPicturesFitTheSkin) {
    const Picture skin = Picture::FromMemory(res::FindResource("#129", "BITMAP"));
    const Picture red = Picture::FromMemory(res::FindResource("BITMAP_BTNONLINE_0", "BMP"));
    const Picture green = Picture::FromMemory(res::FindResource("BITMAP_BTNONLINE_1", "BMP"));
    const Picture exitNormal = Picture::FromMemory(res::FindResource("BITMAP_BTNEXIT_0", "BMP"));
    const Picture exitHover = Picture::FromMemory(res::FindResource("BITMAP_BTNEXIT_1", "BMP"));
    ASSERT_TRUE(skin.valid() && red.valid() && green.valid() && exitNormal.valid() &&
                exitHover.valid());

    for (const Picture* lamp : {&red, &green}) {
        for (int i = 0; i < 144; i += 11) {
            for (auto [x, y] :
                 {std::pair{i, 0}, std::pair{0, i}, std::pair{143, i}, std::pair{i, 143}}) {
                EXPECT_LE(lamp->At(x, y).DistanceTo(skin.At(87 + x, 87 + y)), 6) << x << "," << y;
            }
        }
    }
    // Over the lens as a whole, the lamp's own colour dominates.
    auto lensMean = [](const Picture& lamp) {
        Rgb sum{0, 0, 0};
        for (int y = 30; y < 114; ++y) {
            for (int x = 30; x < 114; ++x) {
                if ((x - 72) * (x - 72) + (y - 72) * (y - 72) > 42 * 42) continue;
                const Rgb p = lamp.At(x, y);
                sum = {sum.r + p.r, sum.g + p.g, sum.b + p.b};
            }
        }
        return sum;
    };
    const Rgb redLens = lensMean(red);
    const Rgb greenLens = lensMean(green);
    EXPECT_GT(redLens.r, 2 * std::max(redLens.g, redLens.b));
    EXPECT_GT(greenLens.g, 2 * std::max(greenLens.r, greenLens.b));

    long normal = 0, hover = 0;
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < 80; ++x) {
            normal += exitNormal.At(x, y).Sum();
            hover += exitHover.At(x, y).Sum();
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

// Runs the picture generator the build uses, twice, into folders of its own.
class PictureGeneratorTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_first = new txtest::TempDir;
        s_second = new txtest::TempDir;
        for (const txtest::TempDir* dir : {s_first, s_second}) {
            const int code = RunGenerator({dir->path() + "/res", dir->path() + "/www"});
            ASSERT_EQ(code, 0);
        }
    }
    static void TearDownTestSuite() {
        delete s_first;
        delete s_second;
        s_first = s_second = nullptr;
    }
    static int RunGenerator(const std::vector<std::string>& args, std::string* errors = nullptr) {
        txtest::ChildProcess generator;
        if (!generator.Start(txtest::BinaryPath("picture-gen"), args, {})) return -1;
        const auto code = generator.Wait(std::chrono::seconds(120));
        if (errors != nullptr) *errors = generator.Stderr();
        return code.value_or(-1);
    }
    static std::string First(const std::string& file) { return s_first->path() + "/" + file; }
    static std::string Second(const std::string& file) { return s_second->path() + "/" + file; }

    static txtest::TempDir* s_first;
    static txtest::TempDir* s_second;
};
txtest::TempDir* PictureGeneratorTest::s_first = nullptr;
txtest::TempDir* PictureGeneratorTest::s_second = nullptr;

TEST_F(PictureGeneratorTest, WritesTheSameBytesEveryRun) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(s_first->path())) {
        if (entry.is_regular_file()) {
            files.insert(std::filesystem::relative(entry.path(), s_first->path()).string());
        }
    }
    for (const char* expected : {"www/mcdu_bg.jpg", "www/busbanner.jpg", "res/ResourceTable.cpp",
                                 "res/skin_129.bmp", "res/icon_128_32.png"}) {
        EXPECT_EQ(files.count(expected), 1u) << expected;
    }
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::string first = txtest::ReadFile(First(file));
        EXPECT_FALSE(first.empty());
        EXPECT_TRUE(first == txtest::ReadFile(Second(file)));
    }
}

TEST_F(PictureGeneratorTest, ProgramHoldsWhatTheGeneratorDraws) {
    const struct {
        const char* file;
        const char* name;
        const char* type;
    } pictures[] = {{"res/skin_129.bmp", "#129", "BITMAP"},
                    {"res/BITMAP_BTNONLINE_0.bmp", "BITMAP_BTNONLINE_0", "BMP"},
                    {"res/BITMAP_BTNONLINE_1.bmp", "BITMAP_BTNONLINE_1", "BMP"},
                    {"res/BITMAP_BTNEXIT_0.bmp", "BITMAP_BTNEXIT_0", "BMP"},
                    {"res/BITMAP_BTNEXIT_1.bmp", "BITMAP_BTNEXIT_1", "BMP"},
                    {"res/icon_128_48.png", "#128", "ICON"}};
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.file);
        const std::string drawn = txtest::ReadFile(First(picture.file));
        const Bytes held = std::string(picture.type) == "ICON"
                               ? res::FindIcon(picture.name, 48)
                               : res::FindResource(picture.name, picture.type);
        EXPECT_TRUE(drawn == std::string(reinterpret_cast<const char*>(held.data()), held.size()));
    }
}

TEST_F(PictureGeneratorTest, McduPictureHasItsScreenAndEveryKey) {
    const Picture mcdu = Picture::FromFile(First("www/mcdu_bg.jpg"));
    ASSERT_TRUE(mcdu.valid()) << IMG_GetError();
    EXPECT_EQ(mcdu.width(), 576);
    EXPECT_GE(mcdu.height(), 903);

    // The display is painted over 103,72 .. 473,436 and lets black through: the area must be dark.
    for (int y = 74; y < 434; ++y) {
        for (int x = 105; x < 471; ++x) ASSERT_LE(mcdu.At(x, y).Max(), 16) << x << "," << y;
    }
    // Plain body: left of the bezel under the last line select key.
    Rgb body{0, 0, 0};
    int samples = 0;
    for (int y = 440; y < 450; ++y) {
        for (int x = 30; x < 40; ++x, ++samples) {
            const Rgb p = mcdu.At(x, y);
            body = {body.r + p.r, body.g + p.g, body.b + p.b};
        }
    }
    body = {body.r / samples, body.g / samples, body.b / samples};
    EXPECT_GT(body.Max(), 20);  // a grey unit on the black page, not black itself
    for (const McduKey& key : McduKeyTable) {
        SCOPED_TRACE(key.label);
        const int cx = PageCoordinate((key.x1 + key.x2) / 2.0f);
        const int cy = PageCoordinate((key.y1 + key.y2) / 2.0f);
        EXPECT_GT(mcdu.At(cx, cy).DistanceTo(body), 45);
        // The key stands out from the body at its edge too, not just in its caption.
        const Rgb nearEdge = mcdu.At(PageCoordinate(key.x1) + 4, cy);
        EXPECT_GT(nearEdge.DistanceTo(body), 30);
    }
}

TEST_F(PictureGeneratorTest, BannerHasTheStatusPageWidth) {
    const Picture banner = Picture::FromFile(First("www/busbanner.jpg"));
    ASSERT_TRUE(banner.valid()) << IMG_GetError();
    EXPECT_EQ(banner.width(), 619);
    EXPECT_GE(banner.height(), 60);
}

TEST_F(PictureGeneratorTest, BadArgumentsAreRefusedWithAMessage) {
    std::string errors;
    EXPECT_EQ(RunGenerator({}, &errors), 2);
    EXPECT_NE(errors.find("usage"), std::string::npos);
    EXPECT_EQ(RunGenerator({"only-one"}, &errors), 2);

    txtest::TempDir dir;
    const std::string blocker = dir.path() + "/file";
    txtest::WriteFile(blocker, "not a folder");
    EXPECT_EQ(RunGenerator({blocker + "/res", dir.path() + "/www"}, &errors), 1);
    EXPECT_NE(errors.find("cannot create folder"), std::string::npos) << errors;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/www/mcdu_bg.jpg"));
}

}  // namespace
