// The skin and the picture control on SDL: the shared cases (SkinCases.h) on SDL's windows, and
// what only SDL's skin does (its drag is seen through the main window, in mainwindow_sdl.cpp).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "tests/support/PictureSupport.h"
#include "tests/ui/SkinCases.h"
#include "ui/sdl/PictureEx.h"
#include "ui/sdl/Repaint.h"
#include "ui/sdl/Skin.h"

namespace txtest {

// The shared cases' side of SDL: windows on the dummy video driver, whose own handling behind the
// skin counts the repaints; the picture control painted onto a surface of its parent's size.
class SdlBench {
    HeadlessVideo m_video;  // first made, last gone

  public:
    ~SdlBench() {
        skin.reset();
        for (SDL_Window* window : m_windows) SDL_DestroyWindow(window);
        SDL_FreeSurface(m_parent);
    }
    bool Ready() const { return m_video.ok(); }
    SDL_Window* MakeWindow() {
        SDL_Window* window =
            SDL_CreateWindow("skin", 100, 100, 320, 320, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
        EXPECT_NE(window, nullptr) << SDL_GetError();
        m_windows.push_back(window);
        return window;
    }
    bool Bare(SDL_Window* window) const { return !Skinned(window); }
    bool Skinned(SDL_Window* window) const { return skin && skin->GetWindow() == window; }
    // The event reaches the window as the main window hands it on: through the skin in front.
    void Send(SDL_Window* window, const SDL_Event& event) {
        auto own = [this](const SDL_Event& seen) { received.push_back(seen.type); };
        if (Skinned(window)) skin->HandleEvent(event, own);
        if (!Skinned(window)) own(event);
    }
    Uint32 Shown(SDL_Window* window, int x, int y) {
        if (ui::IsRepaintAsked(window)) Send(window, ui::MakeRepaintEvent(window));
        return ReadPixel(SDL_GetWindowSurface(window), x, y);
    }
    int PaintsSeen() const {
        return static_cast<int>(std::count(received.begin(), received.end(), SDL_WINDOWEVENT));
    }
    void MakeControl() { picture.Create({10, 12, 50, 20}, nullptr); }
    std::array<int, 4> ControlPlace() const {
        const SDL_Rect place = picture.GetPlace();
        return {place.x, place.y, place.w, place.h};
    }
    Uint32 ControlShows(int x, int y) {
        SDL_FillRect(m_parent, nullptr, 0);
        picture.OnPaint(m_parent);
        return ReadPixel(m_parent, picture.GetPlace().x + x, picture.GetPlace().y + y);
    }

    std::unique_ptr<ui::CSkin> skin = std::make_unique<ui::CSkin>(129);
    ui::CPictureEx picture;
    FakeResources resources;
    // The events that reached the windows' own handling, behind the skin.
    std::vector<Uint32> received;

  private:
    std::vector<SDL_Window*> m_windows;
    SDL_Surface* m_parent = SDL_CreateRGBSurfaceWithFormat(0, 400, 400, 32, SDL_PIXELFORMAT_RGB888);
};

INSTANTIATE_TYPED_TEST_SUITE_P(SkinSdl, SkinTest, SdlBench);

}  // namespace txtest

namespace {

// A missing picture is reported and the skin goes on empty, painting nothing.
TEST(SkinSdlTest, AMissingPictureLeavesTheSkinEmpty) {
    txtest::SdlBench b;
    SDL_Window* window = b.MakeWindow();
    b.resources.table["#129"] = {};
    testing::internal::CaptureStderr();
    b.skin = std::make_unique<ui::CSkin>(129);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("Error: Skins loading failed"), std::string::npos) << told;
    EXPECT_EQ(b.skin->GetWidth(), 0);
    EXPECT_NE(b.skin->GetSurface(), nullptr);
    ASSERT_TRUE(b.skin->Hook(window));
    EXPECT_FALSE(b.skin->Refresh());
    b.Send(window, ui::MakeRepaintEvent(window));  // copies nothing, harmlessly
    EXPECT_EQ(b.PaintsSeen(), 1);
}

}  // namespace
