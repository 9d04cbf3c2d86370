// The picture control: loading from the resource table and from memory, the control's size and
// place, drawing and painting, and every way a load can fail.

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/PictureSupport.h"
#include "ui/sdl/PictureEx.h"

namespace {

using txtest::FakeResources;
using txtest::MakeBmp;
using txtest::MakePlainBmp;
using txtest::ReadPixel;
using txtest::SameColour;
using ui::CPictureEx;

constexpr SDL_Color kTop{200, 30, 40, 255};
constexpr SDL_Color kBottom{20, 40, 210, 255};
constexpr SDL_Color kBackground{1, 2, 3, 255};
constexpr SDL_Color kMenu = CPictureEx::kMenuColour;

// A picture whose upper half differs from its lower half, so an upside-down copy shows.
std::vector<unsigned char> TwoToneBmp(int width, int height) {
    return MakeBmp(width, height, [height](int, int y) { return y < height / 2 ? kTop : kBottom; });
}

class PictureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_resources.Add("LAMP", "BMP", TwoToneBmp(144, 144));
        m_resources.Add("STRIP", "BMP", MakePlainBmp(80, 25, kBottom));
        m_target = SDL_CreateRGBSurfaceWithFormat(0, 320, 320, 32, SDL_PIXELFORMAT_RGB888);
        ASSERT_NE(m_target, nullptr);
        Clear();
    }
    void TearDown() override { SDL_FreeSurface(m_target); }

    void Clear() {
        SDL_FillRect(m_target, nullptr,
                     SDL_MapRGB(m_target->format, kBackground.r, kBackground.g, kBackground.b));
    }
    void CreateAt(const SDL_Rect& place) {
        m_picture.Create(place, [this](const SDL_Rect& rect) { m_invalidated.push_back(rect); });
        m_invalidated.clear();
    }
    SDL_Color Painted(int x, int y) {
        Clear();
        m_picture.OnPaint(m_target);
        return ReadPixel(m_target, x, y);
    }

    FakeResources m_resources;
    CPictureEx m_picture;
    SDL_Surface* m_target = nullptr;
    std::vector<SDL_Rect> m_invalidated;
};

TEST_F(PictureTest, DrawBeforeAnyLoadFailsAndPaintsNothing) {
    CreateAt({87, 87, 144, 144});
    EXPECT_FALSE(m_picture.Draw());
    EXPECT_FALSE(m_picture.IsSurfaceReady());
    EXPECT_TRUE(m_invalidated.empty());
    EXPECT_TRUE(SameColour(Painted(100, 100), kBackground));
}

TEST_F(PictureTest, LoadResizesTheControlAtItsPlaceAndDrawShowsThePictureUpright) {
    CreateAt({87, 87, 20, 10});
    ASSERT_TRUE(m_picture.LoadFromResource("LAMP", "BMP"));
    const SDL_Rect place = m_picture.GetPlace();
    EXPECT_EQ(place.x, 87);
    EXPECT_EQ(place.y, 87);
    EXPECT_EQ(place.w, 144);
    EXPECT_EQ(place.h, 144);
    EXPECT_EQ(m_picture.GetPictureSize().x, 144);
    EXPECT_EQ(m_picture.GetPictureSize().y, 144);

    // Loaded, not drawn yet: the surface shows the menu colour all over the new size.
    EXPECT_TRUE(SameColour(Painted(87, 87), kMenu));
    EXPECT_TRUE(SameColour(Painted(87 + 143, 87 + 143), kMenu));
    EXPECT_TRUE(SameColour(Painted(86, 86), kBackground));
    EXPECT_TRUE(SameColour(Painted(87 + 144, 87 + 144), kBackground));

    m_invalidated.clear();
    ASSERT_TRUE(m_picture.Draw());
    ASSERT_FALSE(m_invalidated.empty());
    EXPECT_TRUE(SDL_RectEquals(&m_invalidated.back(), &place));
    EXPECT_TRUE(SameColour(Painted(87 + 5, 87 + 5), kTop));
    EXPECT_TRUE(SameColour(Painted(87 + 5, 87 + 140), kBottom));
}

TEST_F(PictureTest, PaintIsClippedToTheControlAfterAMove) {
    CreateAt({0, 0, 0, 0});
    ASSERT_TRUE(m_picture.LoadFromResource("LAMP", "BMP"));
    ASSERT_TRUE(m_picture.Draw());
    m_picture.MoveWindow({240, 243, 80, 25});
    EXPECT_TRUE(SameColour(Painted(240, 243), kTop));
    EXPECT_TRUE(SameColour(Painted(319, 267), kTop));
    EXPECT_TRUE(SameColour(Painted(250, 268), kBackground));
}

TEST_F(PictureTest, AMissingNameOrTypeFailsAndLeavesTheControlAsItWas) {
    CreateAt({87, 87, 144, 144});
    ASSERT_TRUE(m_picture.LoadFromResource("LAMP", "BMP"));
    ASSERT_TRUE(m_picture.Draw());
    m_invalidated.clear();

    EXPECT_FALSE(m_picture.LoadFromResource("NO_SUCH_PICTURE", "BMP"));
    EXPECT_FALSE(m_picture.LoadFromResource("LAMP", "BITMAP"));
    EXPECT_FALSE(m_picture.LoadFromResource(nullptr, "BMP"));

    EXPECT_TRUE(m_picture.IsSurfaceReady());
    EXPECT_TRUE(m_picture.HasPicture());
    EXPECT_EQ(m_picture.GetPlace().w, 144);
    EXPECT_TRUE(m_invalidated.empty());
    EXPECT_TRUE(SameColour(Painted(87 + 5, 87 + 5), kTop));
    // The same name with the right type still loads.
    EXPECT_TRUE(m_picture.LoadFromResource("STRIP", "BMP"));
    EXPECT_EQ(m_picture.GetPlace().w, 80);
    EXPECT_EQ(m_picture.GetPlace().h, 25);
}

TEST_F(PictureTest, AfterUnloadAndAFailedLoadThePaintDrawsNothing) {
    CreateAt({87, 87, 144, 144});
    ASSERT_TRUE(m_picture.LoadFromResource("LAMP", "BMP"));
    ASSERT_TRUE(m_picture.Draw());
    m_picture.Unload();
    EXPECT_TRUE(m_invalidated.size() <= 1);  // Unload itself asks for no repaint
    EXPECT_FALSE(m_picture.LoadFromResource("NO_SUCH_PICTURE", "BMP"));
    EXPECT_FALSE(m_picture.Draw());
    EXPECT_TRUE(SameColour(Painted(87 + 5, 87 + 5), kBackground));

    // A picture that is there but cannot be decoded empties the control too.
    ASSERT_TRUE(m_picture.LoadFromResource("LAMP", "BMP"));
    ASSERT_TRUE(m_picture.Draw());
    std::vector<unsigned char> broken = TwoToneBmp(144, 144);
    broken.resize(60);
    m_resources.Add("BROKEN", "BMP", broken);
    EXPECT_FALSE(m_picture.LoadFromResource("BROKEN", "BMP"));
    EXPECT_FALSE(m_picture.IsSurfaceReady());
    EXPECT_TRUE(SameColour(Painted(87 + 5, 87 + 5), kBackground));
}

TEST_F(PictureTest, BadDataIsRefusedWithoutHarm) {
    CreateAt({0, 0, 10, 10});
    const unsigned char gif[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(m_picture.LoadFromMemory(gif, sizeof gif));
    const unsigned char text[] = "this is not a picture at all";
    EXPECT_FALSE(m_picture.LoadFromMemory(text, sizeof text));
    EXPECT_FALSE(m_picture.LoadFromMemory(nullptr, 10));
    EXPECT_FALSE(m_picture.LoadFromMemory(text, 0));
    // A header that promises far more pixels than the data holds.
    std::vector<unsigned char> huge = MakePlainBmp(4, 4, kTop);
    huge[18] = 0xFF;
    huge[19] = 0xFF;
    huge[22] = 0xFF;
    huge[23] = 0xFF;
    EXPECT_FALSE(m_picture.LoadFromMemory(huge.data(), huge.size()));
    EXPECT_FALSE(m_picture.IsSurfaceReady());
    EXPECT_FALSE(m_picture.Draw());
}

TEST_F(PictureTest, WithoutAControlWindowNothingLoads) {
    const std::vector<unsigned char> bmp = MakePlainBmp(8, 8, kTop);
    EXPECT_FALSE(m_picture.LoadFromMemory(bmp.data(), bmp.size()));
    EXPECT_FALSE(m_picture.CreateSurface(8, 8));
    EXPECT_FALSE(m_picture.IsSurfaceReady());
    m_picture.MoveWindow({1, 2, 3, 4});
    EXPECT_EQ(m_picture.GetPlace().w, 0);
}

TEST(PictureResourcesTest, TheProgramsFourPicturesLoadAtTheirSizes) {
    struct Expected {
        const char* name;
        int width;
        int height;
    };
    for (const Expected& expected :
         {Expected{"BITMAP_BTNONLINE_0", 144, 144}, Expected{"BITMAP_BTNONLINE_1", 144, 144},
          Expected{"BITMAP_BTNEXIT_0", 80, 25}, Expected{"BITMAP_BTNEXIT_1", 80, 25}}) {
        SCOPED_TRACE(expected.name);
        CPictureEx picture;
        picture.Create({0, 0, 1, 1}, nullptr);
        ASSERT_TRUE(picture.LoadFromResource(expected.name, "BMP"));
        EXPECT_TRUE(picture.Draw());
        EXPECT_EQ(picture.GetPlace().w, expected.width);
        EXPECT_EQ(picture.GetPlace().h, expected.height);
        EXPECT_FALSE(picture.LoadFromResource(expected.name, "BITMAP"));
    }
}

}  // namespace
