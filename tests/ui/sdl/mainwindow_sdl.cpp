// The main window's view on SDL's dummy driver: SDL's events reaching the face and the main
// window (presses, keys, the close box, the drag before a press), the pictures and the address
// label as drawn, the About box, and the label's font. What the face decides is face_test.cpp's.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/PictureSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/HeardEvents.h"
#include "ui/MainWindowConstants.h"
#include "ui/sdl/AddressFont.h"
#include "ui/sdl/Pointer.h"
#include "ui/sdl/SdlMainWindowView.h"
#include "ui/sdl/Skin.h"

namespace {

using txtest::ReadPixel;

// The main window as start-up leaves it, on the dummy video driver, with a pointer the test moves.
class MainWindow : public txtest::HeardEvents {
  public:
    MainWindow() {
        EXPECT_TRUE(m_video.ok()) << SDL_GetError();
        m_window = SDL_CreateWindow("TarvelX Load Manager", 200, 150, ui::kWindowWidth,
                                    ui::kWindowHeight, SDL_WINDOW_BORDERLESS);
        EXPECT_NE(m_window, nullptr) << SDL_GetError();
        ui::SetMousePositionSource([this] { return m_pointer; });
        m_view.AttachWindowForTesting(m_window);
        m_view.PlacePictureControls();
        EXPECT_TRUE(m_view.CreateSkin());
        m_view.Repaint({0, 0, ui::kWindowWidth, ui::kWindowHeight});
        m_view.CreateAddressFont();
        // Taken now, as the label's first drawing would: no search thread is left behind to
        // outlive a test.
        EXPECT_NE(m_view.AddressFont(), nullptr);
        Pump();
    }
    ~MainWindow() {
        m_view.DestroySkin();
        m_view.DeleteAddressFont();
        m_view.AttachWindowForTesting(nullptr);
        SDL_DestroyWindow(m_window);
        ui::SetMousePositionSource({});
    }

    ui::SdlMainWindowView& view() { return m_view; }
    Uint32 Shown(int x, int y) { return ReadPixel(SDL_GetWindowSurface(m_window), x, y); }

    // Hands every waiting event to the window, as the event loop does.
    void Pump() {
        SDL_Event event;
        while (SDL_PollEvent(&event)) m_view.HandleEvent(event);
    }
    // An event as the window system sends it; `detail` is a motion's buttons, a press's button,
    // a key or a window event.
    void Send(Uint32 type, Uint32 detail = 0) {
        SDL_Event event{};
        event.type = type;
        event.window.windowID = SDL_GetWindowID(m_window);  // the same place in every event
        if (type == SDL_WINDOWEVENT) event.window.event = static_cast<Uint8>(detail);
        if (type == SDL_MOUSEMOTION) event.motion.state = detail;
        if (type == SDL_KEYDOWN) event.key.keysym.sym = static_cast<SDL_Keycode>(detail);
        if (type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP)
            event.button.button = static_cast<Uint8>(detail);
        m_view.HandleEvent(event);
        Pump();
    }
    // The pointer moves to window point (x, y); the window hears of it.
    void MoveTo(int x, int y, Uint32 buttons = 0) {
        SDL_GetWindowPosition(m_window, &m_pointer.x, &m_pointer.y);
        m_pointer = {m_pointer.x + x, m_pointer.y + y};
        Send(SDL_MOUSEMOTION, buttons);
    }

  private:
    txtest::HeadlessVideo m_video;  // first made, last gone
    ui::SdlMainWindowView m_view{*this};
    SDL_Window* m_window = nullptr;
    SDL_Point m_pointer{0, 0};
};

// SDL's presses and keys reach the face and the main window. A press outside the exit strip drags
// the window by the pointer's movement and reaches the face with the release, or with the next
// move with no button held when the release was lost. A right-click asks for the About box, whose
// text goes to standard error here; a key other than Enter or Escape does nothing.
TEST(MainWindowTest, PressesReachTheFaceAfterTheDragAndTheDialogKeysEndTheWindow) {
    MainWindow view;
    view.MoveTo(150, 150);
    view.Send(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT);
    view.Send(SDL_KEYDOWN, SDLK_a);
    EXPECT_EQ(view.Heard(), "command 16");
    testing::internal::CaptureStderr();
    view.view().ShowAboutBox();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(told,
              "About program: TarvelX Connect Extended. v.1.2.x.x. Remote MCDU and flight "
              "data.\n");

    view.MoveTo(200, 290);
    view.Send(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    EXPECT_EQ(view.Heard(), "");  // not before the release
    view.MoveTo(200 - 15, 290 - 25, SDL_BUTTON_LMASK);
    view.Send(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
    EXPECT_EQ(view.Heard(), "address");
    view.Send(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    EXPECT_TRUE(view.view().m_pSkin->IsDragging());
    view.MoveTo(200, 290);  // the release was lost: the move ends the drag
    EXPECT_EQ(view.Heard(), "address");

    view.MoveTo(319, 267);
    view.Send(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    for (SDL_Keycode key : {SDLK_RETURN, SDLK_KP_ENTER, SDLK_ESCAPE}) view.Send(SDL_KEYDOWN, key);
    view.Send(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE);
    EXPECT_EQ(view.Heard(), "end 1; end 1; end 1; end 1; close request");
}

// The letters are painted into the skin, so they are shown at once and kept through paints. (The
// pictures on a real display: tests/ui/window.)
TEST(MainWindowTest, TheLabelIsGreenCentredAndKept) {
    MainWindow view;
    auto greenColumns = [&] {
        std::vector<int> columns;
        for (int y = 270; y < ui::kWindowHeight; ++y) {
            for (int x = 0; x < ui::kWindowWidth; ++x) {
                if (view.Shown(x, y) == 0x12FF00) columns.push_back(x);
            }
        }
        return columns;
    };
    ASSERT_TRUE(greenColumns().empty());
    view.view().DrawAddressLabel("192.168.100.200:4040");
    const std::vector<int> columns = greenColumns();
    ASSERT_GT(columns.size(), 60u);
    view.view().Repaint({0, 0, ui::kWindowWidth, ui::kWindowHeight});
    view.Pump();
    EXPECT_EQ(greenColumns(), columns);
    const auto [left, right] = std::minmax_element(columns.begin(), columns.end());
    EXPECT_GE(*left, 166);
    EXPECT_LT(*right, 318);
    EXPECT_NEAR((*left + *right) / 2.0, 166 + 152 / 2.0, 3);
}

TEST(AddressFontTest, TheLabelIsSetInBoldTahomaWhereWineProvidesItFoundAlikeByEachSearch) {
    // Two windows may each start a search; fontconfig is set up by whichever comes first, and
    // those started a little apart meet the first one half-way through.
    std::vector<std::future<ui::FontFile>> searches;
    for (int i = 0; i < 4; ++i) {
        searches.push_back(std::async(std::launch::async, ui::FindAddressFontFile));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    const ui::FontFile found = searches.front().get();
    for (size_t i = 1; i < searches.size(); ++i) EXPECT_EQ(searches[i].get().path, found.path);
    ASSERT_FALSE(found.path.empty()) << "no font at all";
    EXPECT_TRUE(found.bold);
    if (!txtest::FileExists("/usr/share/wine/fonts/tahomabd.ttf")) {
        GTEST_SKIP() << "fonts-wine is not installed; the label uses " << found.family;
    }
    EXPECT_EQ(found.family, "Tahoma");
    EXPECT_NE(found.path.find("tahomabd"), std::string::npos) << found.path;
}

}  // namespace
