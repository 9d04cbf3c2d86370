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
#include "ui/sdl/Pointer.h"
#include "ui/sdl/Skin.h"
#include "ui/sdl/WindowPaint.h"
#include "ui/sdl/WindowProcedure.h"

namespace txtest {

namespace {

// The events that reached the windows' own procedure, behind the skin.
std::vector<Uint32> g_received;

ui::WindowResult BaseProcedure(SDL_Window*, const SDL_Event& event) {
    g_received.push_back(event.type);
    return 7;
}

}  // namespace

// The shared cases' side of SDL: windows on the dummy video driver, the picture control painted
// onto a surface of its parent's size.
class SdlBench {
    HeadlessVideo m_video;  // first made, last gone

  public:
    SdlBench() { g_received.clear(); }
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
        ui::SetWindowProcedure(window, &BaseProcedure);
        m_windows.push_back(window);
        return window;
    }
    bool Bare(SDL_Window* window) const { return ui::GetWindowProcedure(window) == &BaseProcedure; }
    bool Skinned(SDL_Window* window) const {
        return ui::GetWindowProcedure(window) == &ui::CSkin::SkinWndProc;
    }
    Uint32 Shown(SDL_Window* window, int x, int y) {
        ui::UpdateWindow(window);
        return ReadPixel(SDL_GetWindowSurface(window), x, y);
    }
    int PaintsSeen() const {
        return static_cast<int>(std::count(g_received.begin(), g_received.end(), SDL_WINDOWEVENT));
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

  private:
    std::vector<SDL_Window*> m_windows;
    SDL_Surface* m_parent = SDL_CreateRGBSurfaceWithFormat(0, 400, 400, 32, SDL_PIXELFORMAT_RGB888);
};

INSTANTIATE_TYPED_TEST_SUITE_P(SkinSdl, SkinTest, SdlBench);

}  // namespace txtest

namespace {

// Only a window with a procedure of its own is hooked; the skin's procedure on a window without a
// skin acts as the default one, which does not drag. A missing picture is reported and the skin
// goes on empty.
TEST(SkinSdlTest, OnlyAWindowWithAProcedureIsHookedAndAMissingPictureLeavesTheSkinEmpty) {
    txtest::SdlBench b;
    SDL_Window* window = b.MakeWindow();
    ui::SetWindowProcedure(window, nullptr);
    EXPECT_FALSE(b.skin->Hook(window));
    EXPECT_FALSE(b.skin->Hook(nullptr));
    ui::SetWindowProcedure(window, &ui::CSkin::SkinWndProc);
    SDL_Event press{SDL_MOUSEBUTTONDOWN};
    press.button.button = SDL_BUTTON_LEFT;
    EXPECT_EQ(ui::SendWindowEvent(window, press), 0);
    EXPECT_FALSE(b.skin->IsDragging());

    window = b.MakeWindow();
    b.resources.table["#129"] = {};
    testing::internal::CaptureStderr();
    b.skin = std::make_unique<ui::CSkin>(129);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("Error: Skins loading failed"), std::string::npos) << told;
    EXPECT_EQ(b.skin->GetWidth(), 0);
    EXPECT_NE(b.skin->GetMemDC(), nullptr);
    ASSERT_TRUE(b.skin->Hook(window));
    EXPECT_FALSE(b.skin->Refresh());
    ui::SendWindowEvent(window, ui::MakePaintEvent(window));  // copies nothing, harmlessly
    EXPECT_EQ(txtest::g_received.size(), 1u);
}

}  // namespace
