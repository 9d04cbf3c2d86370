// The skin and the picture control on SDL: the shared cases (SkinCases.h) on SDL's windows, and
// what only SDL's classes do: the drag a left press starts outside the exit strip, the skin's
// failure to load its picture, and the picture's paint clipped to its control.

#include <gtest/gtest.h>

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

// What reached the windows' own procedure, behind the skin.
struct Received {
    Uint32 type;
    SDL_Point pointer;  // the pointer in client coordinates when it arrived
    SDL_Point window;   // the window's place when it arrived
};
std::vector<Received> g_received;

ui::WindowResult BaseProcedure(SDL_Window* window, const SDL_Event& event) {
    Received received{event.type, ui::GetClientCursorPos(window), {0, 0}};
    SDL_GetWindowPosition(window, &received.window.x, &received.window.y);
    g_received.push_back(received);
    return 7;
}

Uint32 AsRgb(SDL_Color colour) {
    return Uint32{colour.r} << 16 | Uint32{colour.g} << 8 | colour.b;
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
    bool IsBare(SDL_Window* window) const {
        return ui::GetWindowProcedure(window) == &BaseProcedure &&
               ui::GetProp(window, ui::CSkin::kPropertyName) == nullptr;
    }
    bool IsSkinned(SDL_Window* window) const {
        return ui::GetWindowProcedure(window) == &ui::CSkin::SkinWndProc &&
               ui::GetProp(window, ui::CSkin::kPropertyName) == skin.get();
    }
    Uint32 Shown(SDL_Window* window, int x, int y) {
        ui::UpdateWindow(window);
        return AsRgb(ReadPixel(SDL_GetWindowSurface(window), x, y));
    }
    int PaintsSeen() const {
        int paints = 0;
        for (const Received& received : g_received) paints += received.type == SDL_WINDOWEVENT;
        return paints;
    }
    void MakeSkin() { skin = std::make_unique<ui::CSkin>(129); }
    void MakeControl() { picture.Create({10, 12, 50, 20}, nullptr); }
    void Offer(std::vector<unsigned char> bytes) {
        m_resources.Add("OFFERED", "BMP", std::move(bytes));
    }
    std::array<int, 4> ControlPlace() const {
        const SDL_Rect place = picture.GetPlace();
        return {place.x, place.y, place.w, place.h};
    }
    Uint32 ControlShows(int x, int y) {
        SDL_FillRect(m_parent, nullptr, 0);
        picture.OnPaint(m_parent);
        return AsRgb(ReadPixel(m_parent, picture.GetPlace().x + x, picture.GetPlace().y + y));
    }

    std::unique_ptr<ui::CSkin> skin;
    ui::CPictureEx picture;

  private:
    FakeResources m_resources{/*exclusive=*/false};
    std::vector<SDL_Window*> m_windows;
    SDL_Surface* m_parent = SDL_CreateRGBSurfaceWithFormat(0, 400, 400, 32, SDL_PIXELFORMAT_RGB888);
};

INSTANTIATE_TYPED_TEST_SUITE_P(SkinSdl, SkinTest, SdlBench);

}  // namespace txtest

namespace {

class SkinSdlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(b.Ready()) << SDL_GetError();
        b.MakeSkin();
        ui::SetCursorPosSource([this] { return m_pointer; });
    }
    void TearDown() override { ui::SetCursorPosSource({}); }
    SDL_Point Place() {
        SDL_Point place{0, 0};
        SDL_GetWindowPosition(m_window, &place.x, &place.y);
        return place;
    }
    // A press, a move or a release with the pointer at client point (x, y) of where the window
    // was when the press began.
    ui::WindowResult Send(Uint32 type, int x, int y, Uint32 buttons = 0) {
        m_pointer = {100 + x, 100 + y};
        SDL_Event event{};
        event.type = type;
        if (type == SDL_MOUSEMOTION) event.motion.state = buttons;
        if (type != SDL_MOUSEMOTION) event.button.button = SDL_BUTTON_LEFT;
        return ui::SendWindowEvent(m_window, event);
    }

    txtest::SdlBench b;
    SDL_Window* m_window = b.MakeWindow();  // at (100, 100)
    SDL_Point m_pointer{0, 0};
};

TEST_F(SkinSdlTest, APressLeftOfTheExitStripDragsTheWindowUntilRelease) {
    ASSERT_TRUE(b.skin->Hook(m_window));
    EXPECT_EQ(Send(SDL_MOUSEBUTTONDOWN, 240, 250), 7);  // the exit strip: passed on at once
    EXPECT_FALSE(b.skin->IsDragging());
    txtest::g_received.clear();

    Send(SDL_MOUSEBUTTONDOWN, 239, 250);
    EXPECT_TRUE(b.skin->IsDragging());
    EXPECT_TRUE(txtest::g_received.empty());  // the press waits for the release
    Send(SDL_MOUSEMOTION, 269, 270, SDL_BUTTON_LMASK);
    EXPECT_EQ(Place().x, 130);
    EXPECT_EQ(Place().y, 120);
    Send(SDL_MOUSEMOTION, 219, 275, SDL_BUTTON_LMASK);
    Send(SDL_MOUSEBUTTONUP, 219, 275);
    EXPECT_FALSE(b.skin->IsDragging());
    EXPECT_EQ(Place().x, 80);
    EXPECT_EQ(Place().y, 125);
    // The press arrives after the last move, where the pointer rests over the same spot.
    std::vector<Uint32> pressesAndReleases;
    for (const txtest::Received& received : txtest::g_received) {
        if (received.type == SDL_MOUSEMOTION) continue;
        pressesAndReleases.push_back(received.type);
        EXPECT_EQ(received.window.x, 80);
        EXPECT_EQ(received.pointer.x, 239);
        EXPECT_EQ(received.pointer.y, 250);
    }
    EXPECT_EQ(pressesAndReleases, (std::vector<Uint32>{SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}));
}

TEST_F(SkinSdlTest, ADragWhoseReleaseWasLostEndsAtTheNextEventThatShowsIt) {
    ASSERT_TRUE(b.skin->Hook(m_window));
    Send(SDL_MOUSEBUTTONDOWN, 150, 150);
    Send(SDL_MOUSEMOTION, 150, 150, 0);  // moving with no button held
    EXPECT_FALSE(b.skin->IsDragging());
    ASSERT_FALSE(txtest::g_received.empty());
    EXPECT_EQ(txtest::g_received[0].type, static_cast<Uint32>(SDL_MOUSEBUTTONDOWN));

    // A second press while the first still drags hands the first one on, then starts anew.
    txtest::g_received.clear();
    Send(SDL_MOUSEBUTTONDOWN, 150, 150);
    Send(SDL_MOUSEBUTTONDOWN, 150, 150);
    EXPECT_TRUE(b.skin->IsDragging());
    EXPECT_EQ(txtest::g_received.size(), 1u);
}

TEST_F(SkinSdlTest, OnlyAWindowWithAProcedureOfItsOwnIsHookedOrUnhooked) {
    // Not hooked: someone else's procedure stays where it is.
    ui::SetWindowProcedure(m_window, &ui::DefaultWindowProcedure);
    EXPECT_FALSE(b.skin->Unhook());
    EXPECT_EQ(ui::GetWindowProcedure(m_window), &ui::DefaultWindowProcedure);
    ui::SetWindowProcedure(m_window, nullptr);
    EXPECT_FALSE(b.skin->Hook(m_window));
    EXPECT_EQ(ui::GetProp(m_window, ui::CSkin::kPropertyName), nullptr);
    EXPECT_FALSE(b.skin->Hook(nullptr));
    // The skin's procedure where no skin is attached acts as the default: no drag.
    ui::SetWindowProcedure(m_window, &ui::CSkin::SkinWndProc);
    EXPECT_EQ(Send(SDL_MOUSEBUTTONDOWN, 10, 10), 0);
    EXPECT_EQ(Place().x, 100);
}

TEST_F(SkinSdlTest, AMissingPictureIsReportedAndTheSkinGoesOnEmpty) {
    txtest::FakeResources nothing;
    testing::internal::CaptureStderr();
    b.MakeSkin();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("Error: Skins loading failed"), std::string::npos) << told;
    EXPECT_EQ(b.skin->GetWidth(), 0);
    EXPECT_NE(b.skin->GetMemDC(), nullptr);
    ASSERT_TRUE(b.skin->Hook(m_window));
    EXPECT_FALSE(b.skin->Refresh());
    ui::SendWindowEvent(m_window, ui::MakePaintEvent(m_window));  // copies nothing, harmlessly
    EXPECT_EQ(txtest::g_received.size(), 1u);
}

TEST(PictureSdlTest, PaintIsClippedToTheControlAfterAMove) {
    txtest::HeadlessVideo video;
    ui::CPictureEx picture;
    picture.Create({0, 0, 0, 0}, nullptr);
    ASSERT_TRUE(picture.LoadFromResource("BITMAP_BTNONLINE_1", "BMP"));
    ASSERT_TRUE(picture.Draw());
    picture.MoveWindow({240, 243, 80, 25});
    SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, 320, 320, 32, SDL_PIXELFORMAT_RGB888);
    SDL_FillRect(target, nullptr, 0);
    picture.OnPaint(target);
    EXPECT_NE(txtest::AsRgb(txtest::ReadPixel(target, 319, 267)), 0u);
    EXPECT_EQ(txtest::AsRgb(txtest::ReadPixel(target, 250, 268)), 0u);
    EXPECT_EQ(txtest::AsRgb(txtest::ReadPixel(target, 239, 250)), 0u);
    SDL_FreeSurface(target);
}

}  // namespace
