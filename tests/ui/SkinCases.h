#pragma once
// The window's skin and picture controls, the same cases on both systems: hooking and unhooking
// the skin's procedure, its painting, and the picture control's load, resize, draw and failures,
// read back from the windows' own pixels. The two systems' classes answer the same calls on their
// own window and surface types, so the cases take the system's side as a type, a bench that each
// system's part provides (sdl/skin_sdl.cpp, win32/skin_win32.cpp) and runs the suite with:
//   Ready()                    false without a display to make windows on
//   MakeWindow()               a 320 x 320 window with a procedure of its own
//   IsBare(w), IsSkinned(w)    its own procedure and no property; the skin's procedure and the
//                              property leading to `skin`
//   Shown(w, x, y)             paints what is invalid, reads a pixel back (0xRRGGBB)
//   PaintsSeen()               the paints that reached the windows' own procedure
//   skin, MakeSkin()           the program's skin (picture 129)
//   picture, MakeControl()     the picture control; bound to its place at (10, 12), 50 x 20
//   Offer(bytes)               the bytes become resource "OFFERED" of type "BMP"
//   ControlPlace()             left, top, width and height of the control
//   ControlShows(x, y)         paints the control, reads its pixel back

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "res/Resources.h"

namespace txtest {

// A pixel of one of the program's 24-bit pictures (0xRRGGBB), y counted from the top. The skin's
// bitmap may come without the BMP file's header, as Windows keeps it.
inline std::uint32_t PicturePixel(std::string_view name, std::string_view type, int x, int y) {
    auto bytes = res::FindResource(name, type);
    if (bytes.size() > 14 && bytes[0] == 'B' && bytes[1] == 'M') bytes = bytes.subspan(14);
    auto read = [&](size_t at) {
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
               std::uint32_t{bytes[at + 3]} << 24;
    };
    if (bytes.size() < 40) return 0;
    const size_t rowBytes = (read(4) * 3 + 3) / 4 * 4;
    return read(read(0) + rowBytes * (read(8) - 1 - y) + x * 3) & 0xFFFFFF;
}

// Spots spread over a picture of that size, corners included.
inline std::vector<std::array<int, 2>> Spots(int width, int height) {
    std::vector<std::array<int, 2>> spots;
    for (int y = 0; y < height; y += height / 7) {
        for (int x = 0; x < width; x += width / 7) spots.push_back({x, y});
    }
    spots.push_back({width - 1, height - 1});
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

TYPED_TEST_P(SkinTest, HookInstallsTheProcedureAndTheProperty) {
    auto& b = this->b;
    const auto window = b.MakeWindow();
    b.MakeSkin();
    EXPECT_EQ(b.skin->GetWidth(), 320);
    EXPECT_EQ(b.skin->GetHeight(), 320);
    EXPECT_FALSE(b.skin->IsHooked());
    EXPECT_FALSE(b.skin->Refresh());
    EXPECT_FALSE(b.skin->Unhook());

    ASSERT_TRUE(b.skin->Hook(window));
    EXPECT_TRUE(b.skin->IsHooked());
    EXPECT_TRUE(b.IsSkinned(window));
    EXPECT_TRUE(b.skin->Refresh());
    EXPECT_TRUE(b.skin->Unhook());
    EXPECT_FALSE(b.skin->IsHooked());
    EXPECT_TRUE(b.IsBare(window));
    EXPECT_FALSE(b.skin->Unhook());
}

TYPED_TEST_P(SkinTest, HookOnAHookedSkinFirstUnhooksFromTheOtherWindow) {
    auto& b = this->b;
    const auto first = b.MakeWindow();
    const auto second = b.MakeWindow();
    b.MakeSkin();
    ASSERT_TRUE(b.skin->Hook(first));
    ASSERT_TRUE(b.skin->Hook(second));
    EXPECT_TRUE(b.IsBare(first));
    EXPECT_TRUE(b.IsSkinned(second));
    // Deleting the skin gives the window back before the picture goes.
    b.skin.reset();
    EXPECT_TRUE(b.IsBare(second));
}

TYPED_TEST_P(SkinTest, PaintCopiesTheFaceAndThenPassesThePaintOn) {
    auto& b = this->b;
    const auto window = b.MakeWindow();
    b.MakeSkin();
    ASSERT_TRUE(b.skin->Hook(window));
    const int paintsBefore = b.PaintsSeen();
    ASSERT_TRUE(b.skin->Refresh());
    for (auto [x, y] : Spots(320, 320)) {
        EXPECT_EQ(b.Shown(window, x, y), PicturePixel("#129", "BITMAP", x, y)) << x << "," << y;
    }
    EXPECT_EQ(b.PaintsSeen(), paintsBefore + 1);
}

TYPED_TEST_P(SkinTest, PictureLoadResizesTheControlAtItsPlaceAndDrawShowsItUpright) {
    auto& b = this->b;
    b.MakeControl();
    EXPECT_FALSE(b.picture.Draw()) << "nothing loaded yet";
    for (const char* name : {"BITMAP_BTNONLINE_0", "BITMAP_BTNONLINE_1"}) {
        SCOPED_TRACE(name);
        b.picture.Unload();
        EXPECT_FALSE(b.picture.IsSurfaceReady());
        ASSERT_TRUE(b.picture.LoadFromResource(name, "BMP"));
        EXPECT_EQ(b.ControlPlace(), (std::array<int, 4>{10, 12, 144, 144}));
        ASSERT_TRUE(b.picture.Draw());
        for (auto [x, y] : Spots(144, 144)) {
            EXPECT_EQ(b.ControlShows(x, y), PicturePixel(name, "BMP", x, y)) << x << "," << y;
        }
    }
}

TYPED_TEST_P(SkinTest, PictureMissingNameOrTypeFailsAndLeavesTheControlAsItWas) {
    auto& b = this->b;
    b.MakeControl();
    ASSERT_TRUE(b.picture.LoadFromResource("BITMAP_BTNEXIT_0", "BMP"));
    EXPECT_FALSE(b.picture.LoadFromResource("BITMAP_BTNEXIT_2", "BMP"));
    EXPECT_FALSE(b.picture.LoadFromResource("BITMAP_BTNEXIT_0", "BITMAP"));
    EXPECT_TRUE(b.picture.HasPicture());
    EXPECT_TRUE(b.picture.IsSurfaceReady());
    EXPECT_EQ(b.ControlPlace(), (std::array<int, 4>{10, 12, 80, 25}));
    EXPECT_TRUE(b.picture.Draw());
    EXPECT_EQ(b.ControlShows(5, 5), PicturePixel("BITMAP_BTNEXIT_0", "BMP", 5, 5));
}

TYPED_TEST_P(SkinTest, PictureBadDataIsRefusedAndEmptiesTheControl) {
    auto& b = this->b;
    const auto exit = res::FindResource("BITMAP_BTNEXIT_1", "BMP");
    // A header that promises far more pixels than the data holds.
    std::vector<unsigned char> huge(exit.begin(), exit.end());
    huge[18] = huge[19] = huge[22] = huge[23] = 0xFF;
    const std::string_view gif("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14);
    const std::string_view text = "BM this is no picture at all";
    b.MakeControl();
    for (const std::vector<unsigned char>& bytes :
         {huge, std::vector<unsigned char>(gif.begin(), gif.end()),
          std::vector<unsigned char>(text.begin(), text.end())}) {
        b.Offer(bytes);
        ASSERT_TRUE(b.picture.LoadFromResource("BITMAP_BTNEXIT_1", "BMP"));
        EXPECT_FALSE(b.picture.LoadFromResource("OFFERED", "BMP")) << bytes.size();
        EXPECT_FALSE(b.picture.HasPicture());
        EXPECT_FALSE(b.picture.IsSurfaceReady());
        EXPECT_FALSE(b.picture.Draw());
    }
}

TYPED_TEST_P(SkinTest, PictureWithoutAControlWindowLoadsNothing) {
    auto& b = this->b;
    EXPECT_FALSE(b.picture.LoadFromResource("BITMAP_BTNONLINE_0", "BMP"));
    EXPECT_FALSE(b.picture.CreateSurface(8, 8));
    EXPECT_FALSE(b.picture.IsSurfaceReady());
    EXPECT_FALSE(b.picture.Draw());
}

REGISTER_TYPED_TEST_SUITE_P(SkinTest, HookInstallsTheProcedureAndTheProperty,
                            HookOnAHookedSkinFirstUnhooksFromTheOtherWindow,
                            PaintCopiesTheFaceAndThenPassesThePaintOn,
                            PictureLoadResizesTheControlAtItsPlaceAndDrawShowsItUpright,
                            PictureMissingNameOrTypeFailsAndLeavesTheControlAsItWas,
                            PictureBadDataIsRefusedAndEmptiesTheControl,
                            PictureWithoutAControlWindowLoadsNothing);

}  // namespace txtest
