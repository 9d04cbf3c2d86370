// The main window's view, headless: the places on its face, the exit strip's highlight, the hand
// pointer, presses and keys, the lamp, the address label and what the window's pixels show.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/TarvelXConnectDlg.h"
#include "log/Log.h"
#include "res/Resources.h"
#include "tests/support/PictureSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XvfbSession.h"
#include "ui/sdl/AddressFont.h"
#include "ui/sdl/BmpDecoder.h"
#include "ui/sdl/HandCursor.h"
#include "ui/sdl/Pointer.h"
#include "ui/sdl/SdlMainWindowView.h"
#include "ui/sdl/Skin.h"
#include "ui/sdl/WindowRects.h"
#include "web/LocalAddress.h"

namespace {

using app::CTarvelXConnectDlg;
using txtest::ReadPixel;
using txtest::SameColour;
using ui::g_rcAddressLink;
using ui::g_rcExitButton;
using ui::g_rcOnlinePicture;
using ui::IsPointInRect;
using ui::kWindowHeight;
using ui::kWindowWidth;

// A pixel of one of the program's own pictures.
SDL_Color ResourcePixel(const char* name, const char* type, int x, int y) {
    const auto bytes = res::FindResource(name, type);
    SDL_Surface* picture = ui::DecodeBmp(bytes.data(), bytes.size());
    const SDL_Color colour = ReadPixel(picture, x, y);
    SDL_FreeSurface(picture);
    return colour;
}

bool IsAddressGreen(SDL_Color c) {
    return c.g > 160 && c.r < 120 && c.b < 120;
}

int CountAddressGreen(SDL_Surface* surface, const SDL_Rect& area) {
    int count = 0;
    for (int y = area.y; y < area.y + area.h; ++y) {
        for (int x = area.x; x < area.x + area.w; ++x)
            count += IsAddressGreen(ReadPixel(surface, x, y));
    }
    return count;
}

// The main window as start-up leaves it, on the dummy video driver, with a pointer the test
// moves.
class MainWindow {
  public:
    explicit MainWindow(const std::string& settings) : m_dlg(settings) {
        m_window = SDL_CreateWindow("TarvelX Load Manager", 200, 150, kWindowWidth, kWindowHeight,
                                    SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
        EXPECT_NE(m_window, nullptr) << SDL_GetError();
        ui::SetCursorPosSource([this] { return m_pointer; });
        face().AttachWindowForTesting(m_window);
        face().SetProgramIcon();
        face().PlacePictureControls();
        EXPECT_TRUE(face().CreateSkin());
        SDL_ShowWindow(m_window);
        face().InvalidateRect({0, 0, kWindowWidth, kWindowHeight});
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
        SDL_FreeSurface(face().m_hIcon);
        face().m_hIcon = nullptr;
        ui::SetCursorPosSource({});
    }

    CTarvelXConnectDlg& dlg() { return m_dlg; }
    // The window system's side of the window, where its pieces are.
    ui::SdlMainWindowView& face() { return ui::SdlMainWindowView::Of(m_dlg.View()); }
    SDL_Window* window() const { return m_window; }
    SDL_Surface* pixels() const { return SDL_GetWindowSurface(m_window); }

    // Hands every waiting event to the window, as the event loop does.
    void Pump() {
        SDL_Event event;
        while (SDL_PollEvent(&event)) face().WindowProc(event);
    }
    void Send(SDL_Event event) {
        event.window.windowID = SDL_GetWindowID(m_window);  // the same place in every event
        face().WindowProc(event);
        Pump();
    }
    // The pointer moves to client point (x, y); the window hears of it.
    void MoveTo(int x, int y, Uint32 buttons = 0) {
        PutPointer(x, y);
        SDL_Event motion{};
        motion.type = SDL_MOUSEMOTION;
        motion.motion.state = buttons;
        Send(motion);
    }
    void PutPointer(int x, int y) {
        int left = 0;
        int top = 0;
        SDL_GetWindowPosition(m_window, &left, &top);
        m_pointer = {left + x, top + y};
    }
    void Button(Uint32 type, Uint8 button) {
        SDL_Event press{};
        press.type = type;
        press.button.button = button;
        press.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        Send(press);
    }
    void Click(int x, int y, Uint8 button = SDL_BUTTON_LEFT) {
        MoveTo(x, y);
        Button(SDL_MOUSEBUTTONDOWN, button);
        Button(SDL_MOUSEBUTTONUP, button);
    }
    void Key(SDL_Keycode key) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.keysym.sym = key;
        Send(event);
    }

  private:
    CTarvelXConnectDlg m_dlg;
    SDL_Window* m_window = nullptr;
    SDL_Point m_pointer{0, 0};
};

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_video.ok()) << SDL_GetError();
        ui::g_bHandCursorMade = false;
        s_cursorAttempts = 0;
        ui::SetHandCursorMaker(&FailingCursorMaker);
    }
    void TearDown() override { ui::SetHandCursorMaker(nullptr); }

    static SDL_Cursor* FailingCursorMaker() {
        ++s_cursorAttempts;
        return nullptr;
    }

    static inline int s_cursorAttempts = 0;
    txtest::HeadlessVideo m_video;
    txtest::TempDir m_settings;
};

TEST(WindowRectsTest, EdgePointsFallInsideOrOutsideAsTheEdgeRuleSays) {
    EXPECT_TRUE(IsPointInRect(g_rcAddressLink, {166, 284}));
    EXPECT_TRUE(IsPointInRect(g_rcAddressLink, {317, 294}));
    EXPECT_FALSE(IsPointInRect(g_rcAddressLink, {318, 290}));
    EXPECT_FALSE(IsPointInRect(g_rcAddressLink, {200, 295}));
    EXPECT_FALSE(IsPointInRect(g_rcAddressLink, {165, 290}));
    EXPECT_TRUE(IsPointInRect(g_rcExitButton, {240, 243}));
    EXPECT_TRUE(IsPointInRect(g_rcExitButton, {319, 267}));  // reaches the window's right edge
    EXPECT_FALSE(IsPointInRect(g_rcExitButton, {239, 250}));
    EXPECT_FALSE(IsPointInRect(g_rcExitButton, {300, 268}));
    EXPECT_FALSE(IsPointInRect(g_rcExitButton, {300, 242}));
    EXPECT_TRUE(IsPointInRect(g_rcOnlinePicture, {87, 87}));
    EXPECT_TRUE(IsPointInRect(g_rcOnlinePicture, {230, 230}));
    EXPECT_FALSE(IsPointInRect(g_rcOnlinePicture, {231, 100}));
    EXPECT_FALSE(IsPointInRect(g_rcOnlinePicture, {100, 231}));
}

TEST_F(MainWindowTest, IconPicturesAndSkinAreInPlaceAfterStartUp) {
    MainWindow view(m_settings.path() + "/");
    ui::SdlMainWindowView& face = view.face();
    EXPECT_TRUE(SDL_RectEquals(&g_rcOnlinePicture,
                               &static_cast<const SDL_Rect&>(face.m_picOnline.GetPlace())));
    const SDL_Rect exitPlace = face.m_picExit.GetPlace();
    EXPECT_TRUE(SDL_RectEquals(&g_rcExitButton, &exitPlace));
    EXPECT_TRUE(face.m_picOnline.IsSurfaceReady());
    EXPECT_TRUE(face.m_picExit.IsSurfaceReady());
    EXPECT_EQ(face.m_picExit.GetWindowText(), "");
    EXPECT_FALSE(face.m_bExitHover);
    ASSERT_NE(face.m_pSkin, nullptr);
    EXPECT_TRUE(face.m_pSkin->IsHooked());
    EXPECT_EQ(face.m_pSkinDC, face.m_pSkin->GetMemDC());
    ASSERT_NE(face.m_hIcon, nullptr);
    EXPECT_EQ(face.m_hIcon->w, 128);
}

TEST_F(MainWindowTest, TheExitStripLightsUpOverItAndOnlyGoesBackOutsideBothStrips) {
    txtest::FakeResources resources(/*exclusive=*/false);
    MainWindow view(m_settings.path() + "/");
    ui::SdlMainWindowView& face = view.face();
    const SDL_Color normal = ResourcePixel("BITMAP_BTNEXIT_0", "BMP", 40, 12);
    const SDL_Color lit = ResourcePixel("BITMAP_BTNEXIT_1", "BMP", 40, 12);
    ASSERT_FALSE(SameColour(normal, lit));
    auto shown = [&] { return ReadPixel(view.pixels(), 240 + 40, 243 + 12); };

    view.MoveTo(20, 20);
    EXPECT_FALSE(face.m_bExitHover);
    EXPECT_TRUE(SameColour(shown(), normal));

    view.MoveTo(250, 250);
    EXPECT_TRUE(face.m_bExitHover);
    EXPECT_TRUE(SameColour(shown(), lit));

    view.MoveTo(200, 290);  // straight into the address strip: the strip stays lit
    EXPECT_TRUE(face.m_bExitHover);
    EXPECT_TRUE(SameColour(shown(), lit));

    view.MoveTo(319, 250);
    view.MoveTo(150, 150);
    EXPECT_FALSE(face.m_bExitHover);
    EXPECT_TRUE(SameColour(shown(), normal));

    // A normal picture that cannot be loaded keeps the flag, and the next move tries again.
    view.MoveTo(250, 250);
    resources.Hide("BITMAP_BTNEXIT_0", "BMP");
    view.MoveTo(150, 150);
    EXPECT_TRUE(face.m_bExitHover);
    resources.Show("BITMAP_BTNEXIT_0", "BMP");
    view.MoveTo(151, 150);
    EXPECT_FALSE(face.m_bExitHover);
    EXPECT_TRUE(SameColour(shown(), normal));

    // A lit picture that cannot be loaded leaves the strip normal.
    resources.Hide("BITMAP_BTNEXIT_1", "BMP");
    view.MoveTo(250, 250);
    EXPECT_FALSE(face.m_bExitHover);
}

TEST_F(MainWindowTest, TheHighlightAlsoFollowsTheDummyDriversOwnPointer) {
    MainWindow view(m_settings.path() + "/");
    ui::SetCursorPosSource({});
    SDL_WarpMouseInWindow(view.window(), 260, 255);
    view.Pump();
    EXPECT_TRUE(view.face().m_bExitHover);
    SDL_WarpMouseInWindow(view.window(), 20, 20);
    view.Pump();
    EXPECT_FALSE(view.face().m_bExitHover);
}

TEST_F(MainWindowTest, TheHandPointerIsTriedOnceOverBothStripsEvenWhenItFails) {
    MainWindow view(m_settings.path() + "/");
    view.MoveTo(20, 20);
    EXPECT_EQ(s_cursorAttempts, 0);
    EXPECT_FALSE(ui::g_bHandCursorMade);

    view.MoveTo(200, 290);
    EXPECT_EQ(s_cursorAttempts, 1);
    EXPECT_TRUE(ui::g_bHandCursorMade);
    EXPECT_EQ(view.face().m_hHandCursor, nullptr);
    view.MoveTo(250, 250);
    view.MoveTo(210, 290);
    EXPECT_FALSE(view.face().OnSetCursor());  // no hand: the default pointer stays
    EXPECT_EQ(s_cursorAttempts, 1);

    // The attempt is the process's, not the window's.
    MainWindow second(m_settings.path() + "/");
    second.MoveTo(250, 250);
    EXPECT_EQ(s_cursorAttempts, 1);
}

TEST_F(MainWindowTest, APressOnTheExitStripEndsTheWindowAndOneOnTheLampOnlyDrags) {
    MainWindow view(m_settings.path() + "/");
    int x = 0;
    int y = 0;
    view.MoveTo(150, 150);
    view.Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    view.PutPointer(150 + 40, 150 + 30);
    view.MoveTo(150 + 40, 150 + 30, SDL_BUTTON_LMASK);
    view.Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
    SDL_GetWindowPosition(view.window(), &x, &y);
    EXPECT_EQ(x, 240);
    EXPECT_EQ(y, 180);
    EXPECT_FALSE(view.dlg().IsEnded());

    view.Click(240, 243);
    EXPECT_TRUE(view.dlg().IsEnded());
    SDL_GetWindowPosition(view.window(), &x, &y);
    EXPECT_EQ(x, 240);
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

    MainWindow view(m_settings.path() + "/");
    view.dlg().SetPortForTesting(4040);
    view.MoveTo(200, 290);
    view.Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    EXPECT_FALSE(txtest::FileExists(opened));  // not before the release
    view.PutPointer(200 - 15, 290 - 25);
    view.MoveTo(200 - 15, 290 - 25, SDL_BUTTON_LMASK);
    view.Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);

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
        MainWindow view(m_settings.path() + "/");
        view.Key(SDLK_a);
        view.Key(SDLK_SPACE);
        EXPECT_FALSE(view.dlg().IsEnded());
        view.Key(key);
        EXPECT_TRUE(view.dlg().IsEnded());
    }
}

TEST_F(MainWindowTest, ARightClickShowsTheAboutBoxWhichNeverBlocksHeadless) {
    MainWindow view(m_settings.path() + "/");
    testing::internal::CaptureStderr();
    view.Click(150, 150, SDL_BUTTON_RIGHT);
    view.dlg().OnSysCommand(0xF010);  // a move command is not the About box
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(txtest::CountLines(told, "About program: TarvelX Connect Extended. v.1.2.x.x."), 1)
        << told;
    EXPECT_FALSE(view.dlg().IsEnded());
}

TEST_F(MainWindowTest, TheViewWithoutAWindowIsHarmless) {
    CTarvelXConnectDlg dlg(m_settings.path() + "/");
    ui::SdlMainWindowView& face = ui::SdlMainWindowView::Of(dlg.View());
    dlg.SetOnlineLamp(true);
    dlg.SetOnlineLamp(false);
    EXPECT_FALSE(face.m_picOnline.IsSurfaceReady());
    dlg.DrawAddressLabel("10.0.0.1:4040");
    face.InvalidateRect({0, 0, 10, 10});
    EXPECT_FALSE(face.OnSetCursor());
    face.OnLButtonDown();
    SDL_Event event{};
    event.type = SDL_MOUSEBUTTONDOWN;
    event.button.button = SDL_BUTTON_LEFT;
    face.WindowProc(event);
    EXPECT_FALSE(dlg.IsEnded());
}

TEST_F(MainWindowTest, TheWindowShowsSkinLampsLitStripAndAddress) {
    MainWindow view(m_settings.path() + "/");
    SDL_Surface* pixels = view.pixels();
    ASSERT_NE(pixels, nullptr);

    // The skin outside the pictures.
    for (SDL_Point spot : {SDL_Point{20, 20}, SDL_Point{300, 60}, SDL_Point{40, 300}}) {
        EXPECT_TRUE(SameColour(ReadPixel(pixels, spot.x, spot.y),
                               ResourcePixel("#129", "BITMAP", spot.x, spot.y)));
    }

    // Red lamp from the start, green once online, red again when offline.
    const int cx = 72;
    const int cy = 72;
    auto lamp = [&] { return ReadPixel(pixels, 87 + cx, 87 + cy); };
    EXPECT_TRUE(SameColour(lamp(), ResourcePixel("BITMAP_BTNONLINE_0", "BMP", cx, cy)));
    EXPECT_GT(lamp().r, lamp().g);
    view.dlg().SetOnlineLamp(true);
    view.Pump();
    EXPECT_TRUE(SameColour(lamp(), ResourcePixel("BITMAP_BTNONLINE_1", "BMP", cx, cy)));
    EXPECT_GT(lamp().g, lamp().r);
    view.dlg().SetOnlineLamp(false);
    view.Pump();
    EXPECT_GT(lamp().r, lamp().g);

    // The exit strip is lighter under the pointer.
    const double darker = txtest::MeanBrightness(pixels, g_rcExitButton);
    view.MoveTo(280, 255);
    EXPECT_GT(txtest::MeanBrightness(pixels, g_rcExitButton), darker + 10);

    // Green letters appear in the address strip, and nowhere else.
    const SDL_Rect around{g_rcAddressLink.x, g_rcAddressLink.y - 4, g_rcAddressLink.w,
                          g_rcAddressLink.h + 8};
    const SDL_Rect left{0, 270, g_rcAddressLink.x, 50};
    ASSERT_EQ(CountAddressGreen(pixels, around), 0);
    const int greenLeftBefore = CountAddressGreen(pixels, left);
    view.dlg().DrawAddressLabel("192.168.100.200:4040");  // shown at once, no event needed
    EXPECT_GT(CountAddressGreen(pixels, around), 60);
    EXPECT_EQ(CountAddressGreen(pixels, left), greenLeftBefore);
    // Painted into the skin, the label stays through later paints.
    view.face().InvalidateRect({0, 0, kWindowWidth, kWindowHeight});
    view.Pump();
    EXPECT_GT(CountAddressGreen(pixels, around), 60);
}

}  // namespace

namespace {

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

namespace {

// Mean brightness (0 to 1) and number of distinct colours of a part of a picture file.
struct PictureStats {
    double mean = 0;
    int colours = 0;
};
std::optional<PictureStats> MeasurePicture(const std::string& file, const SDL_Rect& part) {
    const std::string crop = std::to_string(part.w) + "x" + std::to_string(part.h) + "+" +
                             std::to_string(part.x) + "+" + std::to_string(part.y);
    const auto out = txtest::RunProgram(
        txtest::FindProgram("convert"),
        {file, "-crop", crop, "+repage", "-format", "%[fx:mean] %k", "info:"}, {});
    if (!out) return std::nullopt;
    PictureStats stats;
    std::istringstream in(*out);
    if (!(in >> stats.mean >> stats.colours)) return std::nullopt;
    return stats;
}

// The share (0 to 1) of a part of a picture file that is the address label's green.
std::optional<double> LabelGreenShare(const std::string& file, const SDL_Rect& part) {
    const std::string crop = std::to_string(part.w) + "x" + std::to_string(part.h) + "+" +
                             std::to_string(part.x) + "+" + std::to_string(part.y);
    const auto out = txtest::RunProgram(
        txtest::FindProgram("convert"),
        {file, "-crop", crop, "+repage", "-fuzz", "25%", "-fill", "white", "-opaque",
         "rgb(18,255,0)", "-fill", "black", "+opaque", "white", "-format", "%[fx:mean]", "info:"},
        {});
    if (!out) return std::nullopt;
    return std::atof(out->c_str());
}

std::map<std::string, int> ParseShellGeometry(const std::string& text) {
    std::map<std::string, int> values;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
        }
    }
    return values;
}

TEST(MainWindowOnXvfbTest, TheRealWindowLooksFinishedAndIsKeptAsAScreenshot) {
    if (!txtest::XvfbSession::IsInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    for (const char* tool : {"xdotool", "import", "convert"}) {
        ASSERT_FALSE(txtest::FindProgram(tool).empty()) << tool << " is needed next to Xvfb";
    }
    txtest::XvfbSession x;
    ASSERT_TRUE(x.Start(1024, 768));

    txtest::Sandbox sandbox;
    sandbox.WriteIni("[Common]\nLogging=1\n[Server]\nEnabled=1\nPort=" +
                     std::to_string(txtest::FreeTcpPort()) + "\nWebserverWaits4Sim=0\n");
    auto env = sandbox.Env();
    env["SDL_VIDEODRIVER"] = "x11";
    env["DISPLAY"] = x.display();
    env["WAYLAND_DISPLAY"] = "";
    env["BROWSER"] = "/bin/true";
    txtest::ChildProcess program;
    ASSERT_TRUE(program.Start(txtest::BinaryPath("TarvelXConnectExtended"), {}, env));

    // The program's window: visible, with that title, and of the window's size (SDL may keep
    // helper windows of its own).
    std::map<std::string, int> geometry;
    txtest::WaitUntil(
        [&] {
            const auto found =
                x.Run("xdotool", {"search", "--onlyvisible", "--name", "TarvelX Load Manager"});
            std::istringstream ids(found.value_or(""));
            std::string id;
            while (std::getline(ids, id)) {
                geometry = ParseShellGeometry(
                    x.Run("xdotool", {"getwindowgeometry", "--shell", id}).value_or(""));
                if (geometry["WIDTH"] == kWindowWidth && geometry["HEIGHT"] == kWindowHeight) {
                    return true;
                }
            }
            geometry.clear();
            return !program.Running();
        },
        std::chrono::seconds(30));
    ASSERT_FALSE(geometry.empty()) << "no window; program output: " << program.Stderr();
    // The address label is drawn right after the server thread has started.
    ASSERT_TRUE(txtest::WaitUntil(
        [&] { return txtest::CountLines(txtest::ReadFile(sandbox.LogPath()), "Webbrowser IP:"); },
        std::chrono::seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));

    // Where the window has come to rest (it is placed after it is made).
    const std::string id = std::to_string(geometry.at("WINDOW"));
    geometry =
        ParseShellGeometry(x.Run("xdotool", {"getwindowgeometry", "--shell", id}).value_or(""));
    ASSERT_EQ(geometry.count("X"), 1u) << "the window went away; running: " << program.Running()
                                       << "; output: " << program.Stderr();
    const int left = geometry.at("X");
    const int top = geometry.at("Y");

    const std::string folder = std::string(TX_BIN_DIR) + "/../test-artifacts";
    std::filesystem::create_directories(folder);
    const std::string shot = folder + "/mainwindow-xvfb.png";
    const std::string hoverShot = folder + "/mainwindow-xvfb-exit-hover.png";
    ASSERT_TRUE(x.Screenshot(shot));
    const auto face = MeasurePicture(shot, {left, top, kWindowWidth, kWindowHeight});
    ASSERT_TRUE(face.has_value());
    EXPECT_GT(face->colours, 500) << "the window looks blank: " << shot;
    const SDL_Rect exitOnScreen{left + g_rcExitButton.x, top + g_rcExitButton.y, g_rcExitButton.w,
                                g_rcExitButton.h};
    const SDL_Rect addressOnScreen{left + g_rcAddressLink.x, top + g_rcAddressLink.y - 3,
                                   g_rcAddressLink.w, g_rcAddressLink.h + 6};
    const auto exitNormal = MeasurePicture(shot, exitOnScreen);
    const auto green = LabelGreenShare(shot, addressOnScreen);
    ASSERT_TRUE(exitNormal && green);
    EXPECT_GT(*green, 0.05) << "no address label in " << shot;

    // The pointer over the exit strip lights it up on the real window system too.
    x.Run("xdotool", {"mousemove", std::to_string(left + 280), std::to_string(top + 255)});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ASSERT_TRUE(x.Screenshot(hoverShot));
    const auto exitLit = MeasurePicture(hoverShot, exitOnScreen);
    ASSERT_TRUE(exitLit.has_value());
    EXPECT_GT(exitLit->mean, exitNormal->mean + 0.02) << hoverShot;

    // A press on the lamp drags the window along with the pointer.
    auto run = [&](std::vector<std::string> args) {
        x.Run("xdotool", args);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    };
    run({"mousemove", std::to_string(left + 150), std::to_string(top + 150)});
    run({"mousedown", "1"});
    run({"mousemove", std::to_string(left + 170), std::to_string(top + 165)});
    run({"mousemove", std::to_string(left + 190), std::to_string(top + 180)});
    run({"mouseup", "1"});
    const auto moved =
        ParseShellGeometry(x.Run("xdotool", {"getwindowgeometry", "--shell", id}).value_or(""));
    ASSERT_EQ(moved.count("X"), 1u);
    EXPECT_EQ(moved.at("X"), left + 40);
    EXPECT_EQ(moved.at("Y"), top + 30);
    EXPECT_TRUE(program.Running());

    program.Signal(SIGTERM);
    EXPECT_TRUE(program.Wait(std::chrono::seconds(15)).has_value());
}

}  // namespace
