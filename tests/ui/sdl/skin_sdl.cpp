// The window skin: hooking and unhooking a window's procedure, painting the face, the drag that a
// left press starts outside the exit strip, and the skin's failure to load its picture.

#include "ui/sdl/Skin.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/PictureSupport.h"
#include "ui/sdl/Pointer.h"
#include "ui/sdl/WindowPaint.h"
#include "ui/sdl/WindowProcedure.h"
#include "ui/sdl/WindowRects.h"

namespace {

using txtest::FakeResources;
using txtest::ReadPixel;
using txtest::SameColour;
using ui::CSkin;
using ui::g_rcExitButton;

constexpr SDL_Color kFace{30, 60, 90, 255};
constexpr SDL_Color kCorner{250, 240, 10, 255};

// What reached the window's own procedure, behind the skin.
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

class SkinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_video.ok()) << SDL_GetError();
        g_received.clear();
        m_resources.Add("#129", "BITMAP", txtest::MakeBmp(320, 320, [](int x, int y) {
                            return x < 8 && y < 8 ? kCorner : kFace;
                        }));
        m_first = MakeWindow();
        m_second = MakeWindow();
        ui::SetCursorPosSource([this] { return m_pointer; });
    }
    void TearDown() override {
        ui::SetCursorPosSource({});
        m_skin.reset();
        SDL_DestroyWindow(m_first);
        SDL_DestroyWindow(m_second);
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
    }

    SDL_Window* MakeWindow() {
        SDL_Window* window =
            SDL_CreateWindow("skin", 100, 100, 320, 320, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
        EXPECT_NE(window, nullptr) << SDL_GetError();
        ui::SetWindowProcedure(window, &BaseProcedure);
        return window;
    }
    SDL_Point WindowPos(SDL_Window* window) {
        SDL_Point place{0, 0};
        SDL_GetWindowPosition(window, &place.x, &place.y);
        return place;
    }
    // Puts the pointer on client point (x, y) of the window.
    void PointAt(SDL_Window* window, int x, int y) {
        const SDL_Point place = WindowPos(window);
        m_pointer = {place.x + x, place.y + y};
    }
    ui::WindowResult Send(SDL_Window* window, Uint32 type, Uint32 buttons = 0) {
        SDL_Event event{};
        event.type = type;
        if (type == SDL_MOUSEMOTION) {
            event.motion.state = buttons;
        } else {
            event.button.button = SDL_BUTTON_LEFT;
            event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        }
        return ui::SendWindowEvent(window, event);
    }

    txtest::HeadlessVideo m_video;
    FakeResources m_resources;
    SDL_Window* m_first = nullptr;
    SDL_Window* m_second = nullptr;
    SDL_Point m_pointer{0, 0};
    std::unique_ptr<CSkin> m_skin;
};

TEST_F(SkinTest, HookInstallsTheProcedureAndTheProperty) {
    m_skin = std::make_unique<CSkin>(129);
    EXPECT_EQ(m_skin->GetWidth(), 320);
    EXPECT_EQ(m_skin->GetHeight(), 320);
    ASSERT_NE(m_skin->GetMemDC(), nullptr);
    EXPECT_FALSE(m_skin->IsHooked());
    EXPECT_FALSE(m_skin->Refresh());

    ASSERT_TRUE(m_skin->Hook(m_first));
    EXPECT_TRUE(m_skin->IsHooked());
    EXPECT_EQ(ui::GetWindowProcedure(m_first), &CSkin::SkinWndProc);
    EXPECT_EQ(ui::GetProp(m_first, CSkin::kPropertyName), m_skin.get());
    EXPECT_TRUE(m_skin->Refresh());
    EXPECT_TRUE(ui::IsWindowInvalid(m_first));
}

TEST_F(SkinTest, HookOnAHookedSkinFirstUnhooksFromTheOtherWindow) {
    m_skin = std::make_unique<CSkin>(129);
    ASSERT_TRUE(m_skin->Hook(m_first));
    ASSERT_TRUE(m_skin->Hook(m_second));
    EXPECT_EQ(ui::GetWindowProcedure(m_first), &BaseProcedure);
    EXPECT_EQ(ui::GetProp(m_first, CSkin::kPropertyName), nullptr);
    EXPECT_EQ(ui::GetWindowProcedure(m_second), &CSkin::SkinWndProc);
    EXPECT_EQ(ui::GetProp(m_second, CSkin::kPropertyName), m_skin.get());

    // The first window's events no longer pass the skin: a press there is not held back.
    PointAt(m_first, 10, 10);
    EXPECT_EQ(Send(m_first, SDL_MOUSEBUTTONDOWN), 7);
    EXPECT_EQ(g_received.size(), 1u);
}

TEST_F(SkinTest, UnhookWhenNotHookedReturnsFalseAndTouchesNoWindow) {
    m_skin = std::make_unique<CSkin>(129);
    EXPECT_FALSE(m_skin->Unhook());
    EXPECT_EQ(ui::GetWindowProcedure(m_first), &BaseProcedure);

    ASSERT_TRUE(m_skin->Hook(m_first));
    EXPECT_TRUE(m_skin->Unhook());
    EXPECT_FALSE(m_skin->IsHooked());
    EXPECT_EQ(ui::GetWindowProcedure(m_first), &BaseProcedure);
    EXPECT_EQ(ui::GetProp(m_first, CSkin::kPropertyName), nullptr);
    // Someone else's procedure installed meanwhile stays where it is.
    ui::SetWindowProcedure(m_first, &ui::DefaultWindowProcedure);
    EXPECT_FALSE(m_skin->Unhook());
    EXPECT_EQ(ui::GetWindowProcedure(m_first), &ui::DefaultWindowProcedure);
}

TEST_F(SkinTest, AWindowWithoutAProcedureOfItsOwnIsNotHooked) {
    ui::SetWindowProcedure(m_first, nullptr);
    m_skin = std::make_unique<CSkin>(129);
    EXPECT_FALSE(m_skin->Hook(m_first));
    EXPECT_FALSE(m_skin->IsHooked());
    EXPECT_EQ(ui::GetWindowProcedure(m_first), nullptr);
    EXPECT_EQ(ui::GetProp(m_first, CSkin::kPropertyName), nullptr);
    EXPECT_FALSE(m_skin->Hook(nullptr));
}

TEST_F(SkinTest, DeletingAHookedSkinGivesTheWindowBackBeforeTheSurfaceGoes) {
    m_skin = std::make_unique<CSkin>(129);
    ASSERT_TRUE(m_skin->Hook(m_first));
    m_skin.reset();
    EXPECT_EQ(ui::GetWindowProcedure(m_first), &BaseProcedure);
    EXPECT_EQ(ui::GetProp(m_first, CSkin::kPropertyName), nullptr);
    // A paint now reaches the window's own procedure only (a stale skin would be read here).
    EXPECT_EQ(ui::SendWindowEvent(m_first, ui::MakePaintEvent(m_first)), 7);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].type, static_cast<Uint32>(SDL_WINDOWEVENT));
}

TEST_F(SkinTest, TheSkinProcedureWithoutThePropertyActsAsTheDefault) {
    ui::SetWindowProcedure(m_first, &CSkin::SkinWndProc);
    PointAt(m_first, 10, 10);
    EXPECT_EQ(Send(m_first, SDL_MOUSEBUTTONDOWN), 0);
    EXPECT_EQ(WindowPos(m_first).x, 100);
    EXPECT_TRUE(g_received.empty());
}

TEST_F(SkinTest, PaintCopiesTheFaceAndThenPassesThePaintOn) {
    m_skin = std::make_unique<CSkin>(129);
    ASSERT_TRUE(m_skin->Hook(m_first));
    ASSERT_TRUE(ui::IsWindowInvalid(m_first));
    ui::UpdateWindow(m_first);
    EXPECT_FALSE(ui::IsWindowInvalid(m_first));
    SDL_Surface* surface = SDL_GetWindowSurface(m_first);
    ASSERT_NE(surface, nullptr);
    EXPECT_TRUE(SameColour(ReadPixel(surface, 0, 0), kCorner));
    EXPECT_TRUE(SameColour(ReadPixel(surface, 7, 7), kCorner));
    EXPECT_TRUE(SameColour(ReadPixel(surface, 8, 8), kFace));
    EXPECT_TRUE(SameColour(ReadPixel(surface, 319, 319), kFace));
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].type, static_cast<Uint32>(SDL_WINDOWEVENT));

    // What is drawn on the surface shows at the next paint, for good.
    SDL_Surface* canvas = m_skin->GetMemDC();
    SDL_Rect spot{160, 160, 4, 4};
    SDL_FillRect(canvas, &spot, SDL_MapRGB(canvas->format, kCorner.r, kCorner.g, kCorner.b));
    ui::SendWindowEvent(m_first, ui::MakePaintEvent(m_first));
    EXPECT_TRUE(SameColour(ReadPixel(surface, 161, 161), kCorner));
}

TEST_F(SkinTest, APressOnTheExitStripIsPassedOnAtOnceWithoutDrag) {
    m_skin = std::make_unique<CSkin>(129);
    ASSERT_TRUE(m_skin->Hook(m_first));
    PointAt(m_first, g_rcExitButton.x, 250);  // x = 240
    EXPECT_EQ(Send(m_first, SDL_MOUSEBUTTONDOWN), 7);
    EXPECT_FALSE(m_skin->IsDragging());
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].type, static_cast<Uint32>(SDL_MOUSEBUTTONDOWN));
}

TEST_F(SkinTest, APressLeftOfTheExitStripDragsTheWindowUntilRelease) {
    m_skin = std::make_unique<CSkin>(129);
    ASSERT_TRUE(m_skin->Hook(m_first));
    PointAt(m_first, g_rcExitButton.x - 1, 250);  // x = 239
    Send(m_first, SDL_MOUSEBUTTONDOWN);
    EXPECT_TRUE(m_skin->IsDragging());
    EXPECT_TRUE(g_received.empty());  // the press waits for the release

    m_pointer.x += 30;
    m_pointer.y += 20;
    Send(m_first, SDL_MOUSEMOTION, SDL_BUTTON_LMASK);
    EXPECT_EQ(WindowPos(m_first).x, 130);
    EXPECT_EQ(WindowPos(m_first).y, 120);
    m_pointer.x -= 50;
    m_pointer.y += 5;
    Send(m_first, SDL_MOUSEMOTION, SDL_BUTTON_LMASK);
    Send(m_first, SDL_MOUSEBUTTONUP);
    EXPECT_FALSE(m_skin->IsDragging());
    EXPECT_EQ(WindowPos(m_first).x, 80);
    EXPECT_EQ(WindowPos(m_first).y, 125);

    // The press arrives after the last move, where the pointer rests over the same spot.
    std::vector<Uint32> pressesAndReleases;
    for (const Received& received : g_received) {
        if (received.type == SDL_MOUSEMOTION) continue;
        pressesAndReleases.push_back(received.type);
        EXPECT_EQ(received.window.x, 80);
        EXPECT_EQ(received.pointer.x, 239);
        EXPECT_EQ(received.pointer.y, 250);
    }
    EXPECT_EQ(pressesAndReleases, (std::vector<Uint32>{SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}));
}

TEST_F(SkinTest, APressReleasedWithoutMovingLeavesTheWindowAndStillReachesTheHandler) {
    m_skin = std::make_unique<CSkin>(129);
    ASSERT_TRUE(m_skin->Hook(m_first));
    PointAt(m_first, 150, 150);
    Send(m_first, SDL_MOUSEBUTTONDOWN);
    ASSERT_TRUE(m_skin->IsDragging());
    Send(m_first, SDL_MOUSEBUTTONUP);
    EXPECT_EQ(WindowPos(m_first).x, 100);
    EXPECT_EQ(WindowPos(m_first).y, 100);
    ASSERT_EQ(g_received.size(), 2u);
    EXPECT_EQ(g_received[0].type, static_cast<Uint32>(SDL_MOUSEBUTTONDOWN));
}

TEST_F(SkinTest, ADragWhoseReleaseWasLostEndsAtTheNextEventThatShowsIt) {
    m_skin = std::make_unique<CSkin>(129);
    ASSERT_TRUE(m_skin->Hook(m_first));
    PointAt(m_first, 150, 150);
    Send(m_first, SDL_MOUSEBUTTONDOWN);
    Send(m_first, SDL_MOUSEMOTION, 0);  // moving with no button held
    EXPECT_FALSE(m_skin->IsDragging());
    ASSERT_FALSE(g_received.empty());
    EXPECT_EQ(g_received[0].type, static_cast<Uint32>(SDL_MOUSEBUTTONDOWN));

    // A second press while the first still drags hands the first one on, then starts anew.
    g_received.clear();
    Send(m_first, SDL_MOUSEBUTTONDOWN);
    Send(m_first, SDL_MOUSEBUTTONDOWN);
    EXPECT_TRUE(m_skin->IsDragging());
    EXPECT_EQ(g_received.size(), 1u);
}

TEST_F(SkinTest, AMissingPictureIsReportedAndTheSkinGoesOnEmpty) {
    m_resources.Remove("#129", "BITMAP");
    testing::internal::CaptureStderr();
    m_skin = std::make_unique<CSkin>(129);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("Error: Skins loading failed"), std::string::npos) << told;
    EXPECT_EQ(m_skin->GetWidth(), 0);
    EXPECT_EQ(m_skin->GetHeight(), 0);
    EXPECT_NE(m_skin->GetMemDC(), nullptr);
    ASSERT_TRUE(m_skin->Hook(m_first));
    EXPECT_FALSE(m_skin->Refresh());
    ui::SendWindowEvent(m_first, ui::MakePaintEvent(m_first));  // copies nothing, harmlessly
    EXPECT_EQ(g_received.size(), 1u);
}

TEST(SkinResourceTest, TheProgramsSkinIsTheWholeWindow) {
    txtest::HeadlessVideo video;
    CSkin skin(129);
    EXPECT_EQ(skin.GetWidth(), 320);
    EXPECT_EQ(skin.GetHeight(), 320);
}

}  // namespace
