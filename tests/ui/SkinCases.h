#pragma once
// The window's skin and picture control, the same cases on both systems: putting the skin in front
// of a window's own handling and taking it away, its painting, and the picture control's load,
// resize, draw and failures, read back from the windows' own pixels. Each system's part
// (sdl/skin_sdl.cpp, win32/skin_win32.cpp) runs the suite with a bench of its own:
//   Ready()                  false without a display to make windows on
//   MakeWindow()             a 320 x 320 window with handling of its own
//   Bare(w), Skinned(w)      the window's events go straight to its own handling; through the skin
//   Shown(w, x, y)           paints what is invalid, reads a pixel back (0xRRGGBB)
//   PaintsSeen()             the paints that reached the windows' own handling
//   skin                     the program's skin (picture 129)
//   picture, MakeControl()   the picture control; bound to its place at (10, 12), 50 x 20
//   resources                the test's own resources (PicturePixel.h)
//   ControlPlace()           left, top, width and height of the control
//   ControlShows(x, y)       paints the control, reads its pixel back

#include <gtest/gtest.h>

#include <array>
#include <string_view>
#include <vector>

#include "res/Resources.h"
#include "tests/ui/PicturePixel.h"

namespace txtest {

// Spots spread over a picture of that size, its last corner included.
inline std::vector<std::array<int, 2>> Spots(int width, int height) {
    std::vector<std::array<int, 2>> spots{{width - 1, height - 1}};
    for (int y = 0; y < height; y += height / 7) {
        for (int x = 0; x < width; x += width / 7) spots.push_back({x, y});
    }
    return spots;
}

template <class Bench>
class SkinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!b.Ready()) GTEST_SKIP() << "no display";
    }
    Bench b;
};
TYPED_TEST_SUITE_P(SkinTest);

// The skin paints the face and passes the paint on, on one window at a time.
TYPED_TEST_P(SkinTest, HookPutsTheSkinInFrontAndUnhookOrDeleteTakesItAway) {
    auto& b = this->b;
    const auto first = b.MakeWindow();
    const auto second = b.MakeWindow();
    EXPECT_FALSE(b.skin->Refresh());
    EXPECT_FALSE(b.skin->Unhook());
    ASSERT_TRUE(b.skin->Hook(first));
    EXPECT_TRUE(b.skin->IsHooked());
    EXPECT_TRUE(b.Skinned(first));
    EXPECT_TRUE(b.skin->Unhook());
    EXPECT_FALSE(b.skin->IsHooked());
    EXPECT_TRUE(b.Bare(first));
    // Hooked on another window, it first leaves the one it is on.
    ASSERT_TRUE(b.skin->Hook(first));
    ASSERT_TRUE(b.skin->Hook(second));
    EXPECT_TRUE(b.Bare(first));
    EXPECT_TRUE(b.Skinned(second));
    const int paintsBefore = b.PaintsSeen();
    ASSERT_TRUE(b.skin->Refresh());
    for (auto [x, y] : Spots(320, 320)) {
        EXPECT_EQ(b.Shown(second, x, y), PicturePixel("#129", "BITMAP", x, y)) << x << "," << y;
    }
    EXPECT_EQ(b.PaintsSeen(), paintsBefore + 1);
    b.skin.reset();
    EXPECT_TRUE(b.Bare(second));
}

// A picture resizes its control at its place and is drawn upright; a name or type that is not
// there leaves the control as it was, and data that is no picture empties it.
TYPED_TEST_P(SkinTest, PictureLoadResizesTheControlAndFailuresLeaveOrEmptyIt) {
    auto& b = this->b;
    EXPECT_FALSE(b.picture.LoadFromResource("BITMAP_BTNONLINE_0", "BMP")) << "no control window";
    EXPECT_FALSE(b.picture.CreateSurface(8, 8));
    b.MakeControl();
    EXPECT_FALSE(b.picture.Draw()) << "nothing loaded yet";
    ASSERT_TRUE(b.picture.LoadFromResource("BITMAP_BTNEXIT_0", "BMP"));
    EXPECT_FALSE(b.picture.LoadFromResource("BITMAP_BTNEXIT_2", "BMP"));
    EXPECT_FALSE(b.picture.LoadFromResource("BITMAP_BTNEXIT_0", "BITMAP"));
    EXPECT_EQ(b.ControlPlace(), (std::array<int, 4>{10, 12, 80, 25}));
    ASSERT_TRUE(b.picture.Draw());
    for (auto [x, y] : Spots(80, 25)) {
        EXPECT_EQ(b.ControlShows(x, y), PicturePixel("BITMAP_BTNEXIT_0", "BMP", x, y))
            << x << "," << y;
    }

    const auto exit = res::FindResource("BITMAP_BTNEXIT_1", "BMP");
    std::vector<unsigned char> huge(exit.begin(), exit.end());
    huge[18] = huge[19] = huge[22] = huge[23] = 0xFF;  // far more pixels than the data holds
    const std::string_view gif("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14);
    const std::string_view text = "BM this is no picture at all";
    for (const std::vector<unsigned char>& bytes :
         {huge, std::vector<unsigned char>(gif.begin(), gif.end()),
          std::vector<unsigned char>(text.begin(), text.end())}) {
        b.resources.table["OFFERED"] = bytes;
        EXPECT_FALSE(b.picture.LoadFromResource("OFFERED", "BMP")) << bytes.size();
        EXPECT_FALSE(b.picture.IsSurfaceReady());
        EXPECT_FALSE(b.picture.Draw());
        ASSERT_TRUE(b.picture.LoadFromResource("BITMAP_BTNEXIT_1", "BMP"));
    }
}

REGISTER_TYPED_TEST_SUITE_P(SkinTest, HookPutsTheSkinInFrontAndUnhookOrDeleteTakesItAway,
                            PictureLoadResizesTheControlAndFailuresLeaveOrEmptyIt);

}  // namespace txtest
