// The main window's view, headless: the exit strip's highlight, the hand pointer, presses and
// keys, the lamp, the address label and the font it is set in.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "app/TarvelXConnectDlg.h"
#include "log/Log.h"
#include "res/Resources.h"
#include "tests/support/PictureSupport.h"
#include "tests/support/TestSupport.h"
#include "ui/sdl/AddressFont.h"
#include "ui/sdl/BmpDecoder.h"
#include "ui/sdl/HandCursor.h"
#include "ui/sdl/Pointer.h"
#include "ui/sdl/SdlMainWindowView.h"
#include "web/LocalAddress.h"

namespace {

using txtest::ReadPixel;
using txtest::SameColour;

// A pixel of one of the program's own pictures.
SDL_Color ResourcePixel(const char* name, const char* type, int x, int y) {
    const auto bytes = res::FindResource(name, type);
    SDL_Surface* picture = ui::DecodeBmp(bytes.data(), bytes.size());
    const SDL_Color colour = ReadPixel(picture, x, y);
    SDL_FreeSurface(picture);
    return colour;
}

// The main window as start-up leaves it, on the dummy video driver, with a pointer the test moves.
class MainWindow {
  public:
    explicit MainWindow(const std::string& settings) : m_dlg(settings) {
        m_window = SDL_CreateWindow("TarvelX Load Manager", 200, 150, ui::kWindowWidth,
                                    ui::kWindowHeight, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
        EXPECT_NE(m_window, nullptr) << SDL_GetError();
        ui::SetCursorPosSource([this] { return m_pointer; });
        face().AttachWindowForTesting(m_window);
        face().PlacePictureControls();
        EXPECT_TRUE(face().CreateSkin());
        SDL_ShowWindow(m_window);
        face().InvalidateRect({0, 0, ui::kWindowWidth, ui::kWindowHeight});
        face().CreateAddressFont();
        // Taken now, as the label's first drawing would: no search thread is left behind to
        // outlive a test or to be copied into the browser launcher's forked child.
        EXPECT_NE(face().AddressFont(), nullptr);
        Pump();
    }
    ~MainWindow() {
        face().DestroySkin();
        face().DeleteAddressFont();
        face().m_picOnline.Unload();
        face().m_picExit.Unload();
        Pump();
        face().AttachWindowForTesting(nullptr);
        SDL_DestroyWindow(m_window);
        ui::SetCursorPosSource({});
    }

    app::CTarvelXConnectDlg& dlg() { return m_dlg; }
    ui::SdlMainWindowView& face() { return ui::SdlMainWindowView::Of(m_dlg.View()); }
    SDL_Point Position() const {
        SDL_Point at{0, 0};
        SDL_GetWindowPosition(m_window, &at.x, &at.y);
        return at;
    }
    SDL_Color Shown(int x, int y) { return ReadPixel(SDL_GetWindowSurface(m_window), x, y); }

    // Hands every waiting event to the window, as the event loop does.
    void Pump() {
        SDL_Event event;
        while (SDL_PollEvent(&event)) face().WindowProc(event);
    }
    // An event as the window system sends it; `detail` is a motion's buttons, a press's button
    // or a key.
    void Send(Uint32 type, Uint32 detail = 0) {
        SDL_Event event{};
        event.type = type;
        event.window.windowID = SDL_GetWindowID(m_window);  // the same place in every event
        if (type == SDL_MOUSEMOTION) event.motion.state = detail;
        if (type == SDL_KEYDOWN) event.key.keysym.sym = static_cast<SDL_Keycode>(detail);
        if (type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP) {
            event.button.button = static_cast<Uint8>(detail);
            event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        }
        face().WindowProc(event);
        Pump();
    }
    // The pointer moves to client point (x, y); the window hears of it.
    void MoveTo(int x, int y, Uint32 buttons = 0) {
        m_pointer = {Position().x + x, Position().y + y};
        Send(SDL_MOUSEMOTION, buttons);
    }
    // A press at (x, y), dragged by (dx, dy) before the release.
    void Click(int x, int y, Uint8 button = SDL_BUTTON_LEFT, int dx = 0, int dy = 0) {
        MoveTo(x, y);
        Send(SDL_MOUSEBUTTONDOWN, button);
        if (dx != 0 || dy != 0) MoveTo(x + dx, y + dy, SDL_BUTTON_LMASK);
        Send(SDL_MOUSEBUTTONUP, button);
    }

  private:
    app::CTarvelXConnectDlg m_dlg;
    SDL_Window* m_window = nullptr;
    SDL_Point m_pointer{0, 0};
};

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_video.ok()) << SDL_GetError();
        ui::g_bHandCursorMade = false;
        s_cursorAttempts = 0;
        ui::SetHandCursorMaker([]() -> SDL_Cursor* {
            ++s_cursorAttempts;
            return nullptr;
        });
    }
    void TearDown() override { ui::SetHandCursorMaker(nullptr); }
    std::string Settings() const { return m_settings.path() + "/"; }

    static inline int s_cursorAttempts = 0;
    txtest::HeadlessVideo m_video;
    txtest::TempDir m_settings;
};

TEST_F(MainWindowTest, TheExitStripLightsUpOverItAndOnlyGoesBackOutsideBothStrips) {
    txtest::FakeResources resources(/*exclusive=*/false);
    MainWindow view(Settings());
    const SDL_Color normal = ResourcePixel("BITMAP_BTNEXIT_0", "BMP", 40, 12);
    const SDL_Color lit = ResourcePixel("BITMAP_BTNEXIT_1", "BMP", 40, 12);
    ASSERT_FALSE(SameColour(normal, lit));
    auto shows = [&](SDL_Color colour) { return SameColour(view.Shown(280, 255), colour); };

    view.MoveTo(20, 20);
    EXPECT_TRUE(shows(normal));
    view.MoveTo(250, 250);
    EXPECT_TRUE(shows(lit));
    view.MoveTo(200, 290);  // straight into the address strip: the strip stays lit
    EXPECT_TRUE(shows(lit));
    view.MoveTo(150, 150);
    EXPECT_TRUE(shows(normal));

    // A normal picture that cannot be loaded keeps the flag, and the next move tries again.
    view.MoveTo(250, 250);
    resources.Hide("BITMAP_BTNEXIT_0", "BMP");
    view.MoveTo(150, 150);
    EXPECT_TRUE(view.face().m_bExitHover);
    resources.Show("BITMAP_BTNEXIT_0", "BMP");
    view.MoveTo(151, 150);
    EXPECT_TRUE(shows(normal));
    // A lit picture that cannot be loaded leaves the strip normal.
    resources.Hide("BITMAP_BTNEXIT_1", "BMP");
    view.MoveTo(250, 250);
    EXPECT_FALSE(view.face().m_bExitHover);
}

TEST_F(MainWindowTest, TheHandPointerIsTriedOnceOverBothStripsEvenWhenItFails) {
    MainWindow view(Settings());
    view.MoveTo(20, 20);
    EXPECT_EQ(s_cursorAttempts, 0);
    view.MoveTo(200, 290);
    view.MoveTo(250, 250);
    EXPECT_EQ(s_cursorAttempts, 1);
    EXPECT_FALSE(view.face().OnSetCursor());  // no hand: the default pointer stays
    // The attempt is the process's, not the window's.
    MainWindow second(Settings());
    second.MoveTo(250, 250);
    EXPECT_EQ(s_cursorAttempts, 1);
}

TEST_F(MainWindowTest, APressOnTheExitStripEndsTheWindowAndOneOnTheLampOnlyDrags) {
    MainWindow view(Settings());
    view.Click(150, 150, SDL_BUTTON_LEFT, 40, 30);
    EXPECT_EQ(view.Position().x, 240);
    EXPECT_EQ(view.Position().y, 180);
    EXPECT_FALSE(view.dlg().IsEnded());
    view.Click(239, 267);
    EXPECT_FALSE(view.dlg().IsEnded());
    view.Click(319, 267);  // the strip's last pixel column
    EXPECT_TRUE(view.dlg().IsEnded());
}

TEST_F(MainWindowTest, APressOnTheAddressOpensTheBrowserAfterTheDragAndIsLogged) {
    txtest::Sandbox sandbox;
    txtest::TempDir scratch;
    const std::string opened = scratch.path() + "/opened";
    const std::string browser = scratch.path() + "/browser";
    txtest::WriteFile(browser, "#!/bin/sh\nprintf '%s' \"$1\" > " + opened + ".part && mv " +
                                   opened + ".part " + opened + "\n");
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

    char address[32] = "";
    web::GetLocalIPAddress(address);
    const std::string expected = std::string("http://") + address + ":4040";
    ASSERT_TRUE(
        txtest::WaitUntil([&] { return txtest::FileExists(opened); }, std::chrono::seconds(10)));
    EXPECT_EQ(txtest::ReadFile(opened), expected);
    logging::LogFile.Close();
    EXPECT_EQ(
        txtest::CountLines(txtest::ReadFile(logPath), "Webbrowser launched: " + expected + "."), 1);

    // A launcher that cannot start leaves no log line.
    ASSERT_TRUE(logging::LogFile.Open(logPath));
    ::setenv("BROWSER", (scratch.path() + "/no-such-browser").c_str(), 1);
    view.Click(300, 290);
    logging::LogFile.Close();
    EXPECT_EQ(txtest::CountLines(txtest::ReadFile(logPath), "Webbrowser launched"), 0);
    ::unsetenv("BROWSER");
}

TEST_F(MainWindowTest, EnterAndEscapeEndTheWindowOtherKeysDoNot) {
    for (SDL_Keycode key : {SDLK_RETURN, SDLK_KP_ENTER, SDLK_ESCAPE}) {
        SCOPED_TRACE(key);
        MainWindow view(Settings());
        view.Send(SDL_KEYDOWN, SDLK_a);
        view.Send(SDL_KEYDOWN, SDLK_SPACE);
        EXPECT_FALSE(view.dlg().IsEnded());
        view.Send(SDL_KEYDOWN, key);
        EXPECT_TRUE(view.dlg().IsEnded());
    }
}

TEST_F(MainWindowTest, ARightClickShowsTheAboutBoxWhichNeverBlocksHeadless) {
    MainWindow view(Settings());
    testing::internal::CaptureStderr();
    view.Click(150, 150, SDL_BUTTON_RIGHT);
    view.dlg().OnSysCommand(0xF010);  // a move command is not the About box
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(txtest::CountLines(told, "About program: TarvelX Connect Extended. v.1.2.x.x."), 1)
        << told;
    EXPECT_FALSE(view.dlg().IsEnded());
}

TEST_F(MainWindowTest, TheViewWithoutAWindowIsHarmless) {
    app::CTarvelXConnectDlg dlg(Settings());
    ui::SdlMainWindowView& face = ui::SdlMainWindowView::Of(dlg.View());
    dlg.SetOnlineLamp(true);
    dlg.DrawAddressLabel("10.0.0.1:4040");
    face.InvalidateRect({0, 0, 10, 10});
    EXPECT_FALSE(face.OnSetCursor());
    face.OnLButtonDown();
    face.WindowProc(SDL_Event{SDL_MOUSEBUTTONDOWN});
    EXPECT_FALSE(dlg.IsEnded());
}

TEST_F(MainWindowTest, TheWindowShowsSkinLampAndAddressLabel) {
    MainWindow view(Settings());
    for (SDL_Point spot : {SDL_Point{20, 20}, SDL_Point{300, 60}, SDL_Point{40, 300}}) {
        EXPECT_TRUE(SameColour(view.Shown(spot.x, spot.y),
                               ResourcePixel("#129", "BITMAP", spot.x, spot.y)));
    }

    // Red lamp from the start, green once online, red again when offline.
    auto lamp = [&](const char* picture) {
        return SameColour(view.Shown(87 + 72, 87 + 72), ResourcePixel(picture, "BMP", 72, 72));
    };
    EXPECT_TRUE(lamp("BITMAP_BTNONLINE_0"));
    EXPECT_GT(view.Shown(87 + 72, 87 + 72).r, view.Shown(87 + 72, 87 + 72).g);
    view.dlg().SetOnlineLamp(true);
    view.Pump();
    EXPECT_TRUE(lamp("BITMAP_BTNONLINE_1"));
    view.dlg().SetOnlineLamp(false);
    view.Pump();
    EXPECT_TRUE(lamp("BITMAP_BTNONLINE_0"));

    // The letters are the label's own green, centred in the address strip, shown at once and
    // kept through later paints, since they are painted into the skin.
    auto greenColumns = [&] {
        std::vector<int> columns;
        for (int y = 270; y < ui::kWindowHeight; ++y) {
            for (int x = 0; x < ui::kWindowWidth; ++x) {
                if (SameColour(view.Shown(x, y), SDL_Color{0x12, 0xFF, 0x00, 0xFF})) {
                    columns.push_back(x);
                }
            }
        }
        return columns;
    };
    ASSERT_TRUE(greenColumns().empty());
    view.dlg().DrawAddressLabel("192.168.100.200:4040");
    const std::vector<int> columns = greenColumns();
    ASSERT_GT(columns.size(), 60u);
    view.face().InvalidateRect({0, 0, ui::kWindowWidth, ui::kWindowHeight});
    view.Pump();
    EXPECT_EQ(greenColumns(), columns);
    const auto [left, right] = std::minmax_element(columns.begin(), columns.end());
    EXPECT_GE(*left, 166);
    EXPECT_LT(*right, 318);
    EXPECT_NEAR((*left + *right) / 2.0, 166 + 152 / 2.0, 3);
}

TEST(AddressFontTest, TheLabelIsSetInBoldTahomaWhereWineProvidesIt) {
    const ui::FontFile found = ui::FindAddressFontFile();
    ASSERT_FALSE(found.path.empty()) << "no font at all";
    EXPECT_TRUE(found.bold);
    if (!txtest::FileExists("/usr/share/wine/fonts/tahomabd.ttf")) {
        GTEST_SKIP() << "fonts-wine is not installed; the label uses " << found.family;
    }
    EXPECT_EQ(found.family, "Tahoma");
    EXPECT_NE(found.path.find("tahomabd"), std::string::npos) << found.path;
}

// Two windows may each start a search; fontconfig is set up by whichever comes first.
TEST(AddressFontTest, SearchesStartedTogetherFindTheSameFile) {
    std::vector<std::future<ui::FontFile>> searches;
    // Started a little apart, so that later ones meet the first one half-way through.
    for (int i = 0; i < 4; ++i) {
        searches.push_back(std::async(std::launch::async, ui::FindAddressFontFile));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    const ui::FontFile first = searches.front().get();
    ASSERT_FALSE(first.path.empty());
    for (size_t i = 1; i < searches.size(); ++i) EXPECT_EQ(searches[i].get().path, first.path);
}

}  // namespace
