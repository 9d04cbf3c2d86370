// The main window's view on SDL's dummy driver: SDL's events reaching the face (presses, keys, the
// drag before a press), the pictures and the address label as drawn, and the label's font. What
// the face decides is face_test.cpp's.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "app/TarvelXConnectDlg.h"
#include "log/Log.h"
#include "tests/support/PictureSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/PicturePixel.h"
#include "ui/sdl/AddressFont.h"
#include "ui/sdl/Pointer.h"
#include "ui/sdl/SdlMainWindowView.h"
#include "ui/sdl/Skin.h"
#include "web/LocalAddress.h"

namespace {

using txtest::PicturePixel;
using txtest::ReadPixel;

// The main window as start-up leaves it, on the dummy video driver, with a pointer the test moves.
class MainWindow {
  public:
    explicit MainWindow(const std::string& settings) : m_dlg(settings) {
        m_window = SDL_CreateWindow("TarvelX Load Manager", 200, 150, ui::kWindowWidth,
                                    ui::kWindowHeight, SDL_WINDOW_BORDERLESS);
        EXPECT_NE(m_window, nullptr) << SDL_GetError();
        ui::SetMousePositionSource([this] { return m_pointer; });
        view().AttachWindowForTesting(m_window);
        view().PlacePictureControls();
        EXPECT_TRUE(view().CreateSkin());
        view().Repaint({0, 0, ui::kWindowWidth, ui::kWindowHeight});
        view().CreateAddressFont();
        // Taken now, as the label's first drawing would: no search thread is left behind to
        // outlive a test or to be copied into the browser launcher's forked child.
        EXPECT_NE(view().AddressFont(), nullptr);
        Pump();
    }
    ~MainWindow() {
        view().DestroySkin();
        view().DeleteAddressFont();
        view().AttachWindowForTesting(nullptr);
        SDL_DestroyWindow(m_window);
        ui::SetMousePositionSource({});
    }

    app::CTarvelXConnectDlg& dlg() { return m_dlg; }
    ui::SdlMainWindowView& view() { return ui::SdlMainWindowView::Of(m_dlg.View()); }
    Uint32 Shown(int x, int y) { return ReadPixel(SDL_GetWindowSurface(m_window), x, y); }

    // Hands every waiting event to the window, as the event loop does.
    void Pump() {
        SDL_Event event;
        while (SDL_PollEvent(&event)) view().HandleEvent(event);
    }
    // An event as the window system sends it; `detail` is a motion's buttons, a press's button
    // or a key.
    void Send(Uint32 type, Uint32 detail = 0) {
        SDL_Event event{};
        event.type = type;
        event.window.windowID = SDL_GetWindowID(m_window);  // the same place in every event
        if (type == SDL_MOUSEMOTION) event.motion.state = detail;
        if (type == SDL_KEYDOWN) event.key.keysym.sym = static_cast<SDL_Keycode>(detail);
        if (type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP)
            event.button.button = static_cast<Uint8>(detail);
        view().HandleEvent(event);
        Pump();
    }
    // The pointer moves to client point (x, y); the window hears of it.
    void MoveTo(int x, int y, Uint32 buttons = 0) {
        SDL_GetWindowPosition(m_window, &m_pointer.x, &m_pointer.y);
        m_pointer = {m_pointer.x + x, m_pointer.y + y};
        Send(SDL_MOUSEMOTION, buttons);
    }
    void Click(int x, int y, Uint8 button = SDL_BUTTON_LEFT) {
        MoveTo(x, y);
        Send(SDL_MOUSEBUTTONDOWN, button);
        Send(SDL_MOUSEBUTTONUP, button);
    }

  private:
    app::CTarvelXConnectDlg m_dlg;
    SDL_Window* m_window = nullptr;
    SDL_Point m_pointer{0, 0};
};

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_video.ok()) << SDL_GetError(); }
    std::string Settings() const { return m_settings.path() + "/"; }

    txtest::HeadlessVideo m_video;
    txtest::TempDir m_settings;
};

// A press on the exit strip (to its last pixel column), Enter and Escape end the window; a press
// beside the strip and other keys do not; a right-click shows the About box, never blocking here.
TEST_F(MainWindowTest, TheExitStripEnterAndEscapeEndTheWindowARightClickShowsTheAboutBox) {
    struct Case {
        int x;
        Uint8 button;
        SDL_Keycode key;  // none: a press of `button` at (x, 267)
        bool ends;
    };
    for (const Case c : {Case{319, SDL_BUTTON_LEFT, 0, true}, Case{239, SDL_BUTTON_LEFT, 0, false},
                         Case{150, SDL_BUTTON_RIGHT, 0, false}, Case{0, 0, SDLK_RETURN, true},
                         Case{0, 0, SDLK_KP_ENTER, true}, Case{0, 0, SDLK_ESCAPE, true},
                         Case{0, 0, SDLK_a, false}, Case{0, 0, SDLK_SPACE, false}}) {
        MainWindow view(Settings());
        testing::internal::CaptureStderr();
        if (c.key != 0) view.Send(SDL_KEYDOWN, static_cast<Uint32>(c.key));
        if (c.key == 0) view.Click(c.x, 267, c.button);
        const std::string told = testing::internal::GetCapturedStderr();
        SCOPED_TRACE(testing::Message() << "press at " << c.x << ", key " << c.key);
        EXPECT_EQ(view.dlg().IsEnded(), c.ends);
        EXPECT_EQ(txtest::CountLines(told, "About program: TarvelX Connect Extended. v.1.2.x.x."),
                  c.button == SDL_BUTTON_RIGHT ? 1 : 0)
            << told;
    }
}

// A press outside the exit strip drags the window by the pointer's movement, and reaches the
// window with the release, or with the next move with no button held when the release was lost.
TEST_F(MainWindowTest, APressOnTheAddressOpensTheBrowserAfterTheDragAndIsLogged) {
    txtest::Sandbox sandbox;
    txtest::TempDir scratch;
    const std::string opened = scratch.path() + "/opened", browser = scratch.path() + "/browser";
    txtest::WriteFile(browser, "#!/bin/sh\nprintf '%s' \"$1\" > " + opened + "\n");
    ASSERT_EQ(::chmod(browser.c_str(), 0755), 0);
    ::setenv("BROWSER", browser.c_str(), 1);
    const std::string logPath = scratch.path() + "/log.txt";
    ASSERT_TRUE(logging::LogFile.Open(logPath));

    MainWindow view(Settings());
    view.dlg().SetPortForTesting(4040);
    view.MoveTo(200, 290);
    view.Send(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    EXPECT_FALSE(txtest::FileExists(opened));  // not before the release
    view.MoveTo(200 - 15, 290 - 25, SDL_BUTTON_LMASK);
    view.Send(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
    const std::string expected = "http://" + web::GetLocalIPAddress().value + ":4040";
    auto opens = [&] {
        return txtest::WaitUntil([&] { return txtest::ReadFile(opened) == expected; },
                                 std::chrono::seconds(10));
    };
    EXPECT_TRUE(opens()) << txtest::ReadFile(opened);
    std::remove(opened.c_str());
    view.Send(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    EXPECT_TRUE(view.view().m_pSkin->IsDragging());
    view.MoveTo(200, 290);
    EXPECT_FALSE(view.view().m_pSkin->IsDragging());
    EXPECT_TRUE(opens()) << txtest::ReadFile(opened);
    // A launcher that cannot start leaves no log line.
    ::setenv("BROWSER", (scratch.path() + "/no-such-browser").c_str(), 1);
    view.Click(300, 290);
    ::unsetenv("BROWSER");
    logging::LogFile.Close();
    const std::string log = txtest::ReadFile(logPath);
    EXPECT_EQ(txtest::CountLines(log, "Webbrowser launched"), 2) << log;
    EXPECT_EQ(txtest::CountLines(log, "Webbrowser launched: " + expected + "."), 2) << log;
}

TEST_F(MainWindowTest, TheLampFollowsTheLinkAndTheLabelIsGreenCentredAndKept) {
    MainWindow view(Settings());
    auto lamp = [&] { return view.Shown(87 + 72, 87 + 72); };
    EXPECT_EQ(lamp(), PicturePixel("BITMAP_BTNONLINE_0", "BMP", 72, 72));
    view.dlg().SetOnlineLamp(true);
    view.Pump();
    EXPECT_EQ(lamp(), PicturePixel("BITMAP_BTNONLINE_1", "BMP", 72, 72));

    // The letters are painted into the skin, so they are shown at once and kept through paints.
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
    view.dlg().DrawAddressLabel("192.168.100.200:4040");
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
