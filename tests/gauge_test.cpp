#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "log/LogStream.h"
#include "pipe/McduPipeClient.h"
#include "platform/Paths.h"
#include "tests/support/TestSupport.h"
#include "tools/gauge-standin/McduDisplay.h"
#include "tools/gauge-standin/McduRenderer.h"

namespace {

using namespace std::chrono_literals;
using txtest::CountLines;
using Page = McduDisplay::Page;

enum : int {
    kLsk1 = 0,
    kLsk4 = 3,
    kLsk5 = 4,
    kLsk6 = 5,
    kRsk1 = 6,
    kFlightPlan = 14,
    kAirport = 16,
    kUp = 17,
    kNextPage = 18,
    kDown = 19,
    kPerf = 20,
    kInit = 21,
    kData = 22,
    kPrevPage = 25,
    kMenu = 26,
    kOverfly = 67,
    kClear = 68,
};

int CodeOf(char ch) {
    if (ch >= 'A' && ch <= 'Z') return 39 + (ch - 'A');
    if (ch == '0') return 27;
    if (ch >= '1' && ch <= '9') return 28 + (ch - '1');
    switch (ch) {
        case '.':
            return 37;
        case '/':
            return 38;
        case '+':
            return 65;
        case ' ':
            return 66;
        default:
            return -1;
    }
}

// A blank typed at the end shows nothing yet, so only the other keys must change the screen.
void Type(McduDisplay& display, std::string_view text) {
    for (char ch : text) {
        const bool changed = display.PressKey(CodeOf(ch));
        if (ch != ' ') {
            EXPECT_TRUE(changed) << "typing " << ch;
        }
    }
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// ---- The display itself ------------------------------------------------------------------

TEST(McduDisplayTest, ScratchpadShowsWhatIsTypedAndClrEmptiesIt) {
    McduDisplay display;
    EXPECT_EQ(display.CurrentPage(), Page::McduMenu);
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "");
    Type(display, "A1/ +.");
    EXPECT_TRUE(display.PressKey(kOverfly));
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "A1/ +.\u0394");
    const McduCell& first = display.Screen()[kMcduScratchpadRow][0];
    EXPECT_EQ(first.colour, McduColour::White);
    EXPECT_FALSE(first.small);

    EXPECT_TRUE(display.PressKey(kClear));
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "");
    // CLR on an empty scratchpad arms the clearing of a field; a second CLR takes it back.
    EXPECT_TRUE(display.PressKey(kClear));
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "CLR");
    EXPECT_TRUE(display.PressKey(kClear));
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "");

    for (int i = 0; i < 30; ++i) display.PressKey(CodeOf('W'));
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), std::string(22, 'W'));
}

TEST(McduDisplayTest, CodesThatAreNoKeysChangeNothing) {
    McduDisplay display;
    const McduScreen before = display.Screen();
    for (int code : {-1, 69, 99, 0xFE, 0xFF, 1000}) EXPECT_FALSE(display.PressKey(code)) << code;
    EXPECT_TRUE(display.Screen() == before);
    EXPECT_FALSE(display.PressKey(kUp));  // no list on this page
    EXPECT_EQ(McduDisplay::KeyName(7), std::string("RSK 2"));
    EXPECT_EQ(McduDisplay::KeyName(27), std::string("0"));
    EXPECT_EQ(McduDisplay::KeyName(65), std::string("+"));
    EXPECT_EQ(McduDisplay::KeyName(68), std::string("CLR"));
    EXPECT_EQ(McduDisplay::KeyName(69), nullptr);
}

TEST(McduDisplayTest, MenuSelectsTheFmgcAndComesBack) {
    McduDisplay display;
    EXPECT_EQ(display.RowText(2), "<FMGC");
    EXPECT_EQ(display.Screen()[2][1].colour, McduColour::White);
    EXPECT_TRUE(display.PressKey(kLsk1 + 1));
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "NOT ALLOWED");
    EXPECT_TRUE(display.PressKey(kLsk1));
    EXPECT_EQ(display.CurrentPage(), Page::Init);
    EXPECT_TRUE(display.PressKey(kMenu));
    EXPECT_EQ(display.CurrentPage(), Page::McduMenu);
    EXPECT_EQ(display.Screen()[2][1].colour, McduColour::Green);
}

TEST(McduDisplayTest, InitLineKeysPutTheScratchpadIntoFields) {
    McduDisplay display;
    display.PressKey(kInit);
    EXPECT_NE(display.RowText(0).find("INIT"), std::string::npos);
    EXPECT_EQ(display.Screen()[2][23].ch, U'□');
    EXPECT_EQ(display.Screen()[2][23].colour, McduColour::Amber);

    Type(display, "EGLL/LFPG");
    EXPECT_TRUE(display.PressKey(kRsk1));
    EXPECT_TRUE(display.RowText(2).ends_with("EGLL/LFPG"));
    EXPECT_EQ(display.Screen()[2][23].colour, McduColour::Cyan);
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "");
    EXPECT_TRUE(StartsWith(display.RowText(8), "5128.7N"));
    EXPECT_TRUE(display.RowText(8).ends_with("00027.7W"));

    // A wrong entry leaves the field alone; CLR brings the entry back for correction.
    Type(display, "EGLL");
    EXPECT_TRUE(display.PressKey(kRsk1));
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "FORMAT ERROR");
    EXPECT_TRUE(display.RowText(2).ends_with("EGLL/LFPG"));
    display.PressKey(kClear);
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "EGLL");
    display.PressKey(kClear);
    Type(display, "ABCD/EFGH");
    display.PressKey(kRsk1);
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "NOT IN DATA BASE");
    display.PressKey(kClear);
    display.PressKey(kClear);

    Type(display, "1000");
    display.PressKey(kLsk5);
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "FORMAT ERROR");
    display.PressKey(kClear);
    display.PressKey(kClear);
    Type(display, "77");
    display.PressKey(kLsk5);
    EXPECT_EQ(display.RowText(10).substr(0, 2), "77");

    Type(display, "500");
    display.PressKey(kLsk6);
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "ENTRY OUT OF RANGE");
    display.PressKey(kClear);
    display.PressKey(kClear);
    Type(display, "FL350");
    display.PressKey(kLsk6);
    EXPECT_TRUE(StartsWith(display.RowText(12), "FL350/-54\u00b0"));

    // Entries where the page takes none.
    Type(display, "12");
    display.PressKey(kLsk4);
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "NOT ALLOWED");
    display.PressKey(kClear);
    display.PressKey(kClear);
    EXPECT_FALSE(display.PressKey(kLsk5));  // empty scratchpad: nothing to put there

    // CLR into a field empties it.
    display.PressKey(kClear);
    EXPECT_TRUE(display.PressKey(kLsk5));
    EXPECT_TRUE(StartsWith(display.RowText(10), "□□□"));
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "");
}

TEST(McduDisplayTest, FlightPlanScrollsAndPages) {
    McduDisplay display;
    display.PressKey(kFlightPlan);
    EXPECT_EQ(display.RowText(2), "------END OF F-PLN------");
    EXPECT_TRUE(display.RowText(kMcduScratchpadRow).ends_with("↑↓"));

    display.PressKey(kInit);
    Type(display, "EGLL/LSZH");
    display.PressKey(kRsk1);
    display.PressKey(kFlightPlan);
    EXPECT_TRUE(StartsWith(display.RowText(2), "EGLL"));
    EXPECT_TRUE(StartsWith(display.RowText(12), "LSZH"));
    const std::string second = display.RowText(4);

    EXPECT_FALSE(display.PressKey(kDown));  // already at the top
    EXPECT_TRUE(display.PressKey(kUp));
    EXPECT_EQ(display.RowText(2), second);
    EXPECT_TRUE(display.PressKey(kDown));
    EXPECT_TRUE(StartsWith(display.RowText(2), "EGLL"));

    int steps = 0;
    while (display.PressKey(kUp)) ++steps;
    EXPECT_GT(steps, 4);
    EXPECT_EQ(display.RowText(2), "-----NO ALTN F-PLN------");

    EXPECT_TRUE(display.PressKey(kAirport));
    EXPECT_TRUE(StartsWith(display.RowText(2), "LSZH"));
    EXPECT_TRUE(display.PressKey(kNextPage));
    EXPECT_NE(display.RowText(1).find("EFOB"), std::string::npos);
    EXPECT_TRUE(display.PressKey(kPrevPage));
    EXPECT_NE(display.RowText(1).find("TIME"), std::string::npos);
}

TEST(McduDisplayTest, DataIndexTurnsPagesAndPerfChecksSpeeds) {
    McduDisplay display;
    display.PressKey(kData);
    EXPECT_NE(display.RowText(0).find("1/2"), std::string::npos);
    EXPECT_EQ(display.RowText(2), "<MONITOR");
    EXPECT_TRUE(display.PressKey(kNextPage));
    EXPECT_NE(display.RowText(0).find("2/2"), std::string::npos);
    EXPECT_TRUE(StartsWith(display.RowText(2), "<WAYPOINTS"));
    EXPECT_TRUE(display.PressKey(kPrevPage));
    EXPECT_NE(display.RowText(0).find("1/2"), std::string::npos);

    display.PressKey(kPerf);
    Type(display, "150");
    display.PressKey(kLsk1);
    EXPECT_TRUE(StartsWith(display.RowText(2), "150"));
    Type(display, "140");
    display.PressKey(kLsk1 + 1);
    EXPECT_EQ(display.RowText(kMcduScratchpadRow), "V1/VR/V2 DISAGREE");
}

// ---- The picture ---------------------------------------------------------------------------

using SurfacePtr = std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)>;

SurfacePtr AsRgba(SDL_Surface* surface) {
    SurfacePtr converted(
        surface ? SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_RGBA32, 0) : nullptr,
        &SDL_FreeSurface);
    if (surface) SDL_FreeSurface(surface);
    return converted;
}

SDL_Color PixelAt(SDL_Surface* rgba, int x, int y) {
    const auto* row = static_cast<const uint8_t*>(rgba->pixels) + y * rgba->pitch;
    return {row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
}

// Pixels in the rectangle that are not black.
int LitPixels(SDL_Surface* rgba, const SDL_Rect& area) {
    int lit = 0;
    for (int y = area.y; y < area.y + area.h; ++y)
        for (int x = area.x; x < area.x + area.w; ++x) {
            const SDL_Color c = PixelAt(rgba, x, y);
            if (c.r != 0 || c.g != 0 || c.b != 0) ++lit;
        }
    return lit;
}

SDL_Rect RowArea(int row, int columns = 22) {
    const SDL_Point top = McduRenderer::CellOrigin(row, 0);
    const SDL_Point end = McduRenderer::CellOrigin(row + 1, columns);
    return {top.x, top.y, end.x - top.x, end.y - top.y};
}

SDL_Rect ScratchpadArea() {
    return RowArea(kMcduScratchpadRow);
}

TEST(McduRendererTest, DrawsInsideTheDisplayRectangleInTheUnitsColours) {
    McduRenderer renderer;
    ASSERT_TRUE(renderer.Ready()) << renderer.Error();
    McduDisplay display;
    display.PressKey(kInit);
    Type(display, "WWWWWWWWWWWWWWWWWWWWWW");
    SurfacePtr image = AsRgba(renderer.Draw(display.Screen()).release());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->w, McduRenderer::kImageWidth);
    EXPECT_EQ(image->h, McduRenderer::kImageHeight);

    const SDL_Rect inside = McduRenderer::kDisplayRect;
    int outside = 0;
    for (int y = 0; y < image->h; ++y)
        for (int x = 0; x < image->w; ++x) {
            const SDL_Point point{x, y};
            if (SDL_PointInRect(&point, &inside)) continue;
            const SDL_Color c = PixelAt(image.get(), x, y);
            if (c.r != 0 || c.g != 0 || c.b != 0) ++outside;
        }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(LitPixels(image.get(), ScratchpadArea()), 100);

    // The empty fields of row 2 are amber boxes: strong red, some green, hardly blue.
    int amber = 0;
    const SDL_Rect boxes = RowArea(2, 10);
    for (int y = boxes.y; y < boxes.y + boxes.h; ++y)
        for (int x = boxes.x; x < boxes.x + boxes.w; ++x) {
            const SDL_Color c = PixelAt(image.get(), x, y);
            if (c.r > 200 && c.g > 100 && c.g < 200 && c.b < 60) ++amber;
        }
    EXPECT_GT(amber, 50);
}

// ---- The stand-in as a process ---------------------------------------------------------------

class GaugeProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();
        m_socket = platform::McduPipePath();
        m_picture = m_sandbox.settings() + "MCDU_Dspl.png";
    }

    void StartGauge(txtest::ChildProcess& gauge, std::vector<std::string> args = {}) {
        ASSERT_TRUE(gauge.Start(txtest::BinaryPath("gauge-standin"), args, m_sandbox.Env()));
        ASSERT_TRUE(txtest::WaitUntil(
            [&] { return gauge.Stdout().find("GAUGE: listening on ") != std::string::npos; }, 10s))
            << gauge.Stdout() << gauge.Stderr();
    }
    static int Written(const txtest::ChildProcess& gauge) {
        return CountLines(gauge.Stdout(), "GAUGE: display written");
    }
    static bool WaitForWritten(const txtest::ChildProcess& gauge, int count) {
        return txtest::WaitUntil([&] { return Written(gauge) >= count; }, 60s);
    }
    SurfacePtr LoadPicture() { return AsRgba(IMG_Load(m_picture.c_str())); }

    int ConnectRaw() {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, m_socket.c_str());
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    txtest::Sandbox m_sandbox;
    std::string m_socket;
    std::string m_picture;
    logging::LogStream m_quiet;  // never opened: the client's log lines go nowhere
};

TEST_F(GaugeProcessTest, KeysChangeThePictureInTheSettingsFolder) {
    m_sandbox.CreateSettingsFolder();
    // No simulator link here: the folder holds what the gauge writes, and nothing else.
    std::filesystem::remove(m_sandbox.settings() + "SimConnect.cfg");
    txtest::ChildProcess gauge;
    StartGauge(gauge);
    ASSERT_TRUE(WaitForWritten(gauge, 1));  // drawn once at start
    SurfacePtr start = LoadPicture();
    ASSERT_TRUE(start) << IMG_GetError();
    EXPECT_EQ(start->w, McduRenderer::kImageWidth);
    EXPECT_EQ(LitPixels(start.get(), ScratchpadArea()), 0);
    EXPECT_GT(LitPixels(start.get(), McduRenderer::kDisplayRect), 0);

    mcdupipe::McduPipeClient client(m_socket, m_quiet);
    ASSERT_TRUE(client.ConnectMcduPipe());
    ASSERT_TRUE(client.SendKey(CodeOf('K')));
    ASSERT_TRUE(client.SendKey(CodeOf('7')));
    ASSERT_TRUE(WaitForWritten(gauge, 3));
    SurfacePtr typed = LoadPicture();
    ASSERT_TRUE(typed);
    EXPECT_GT(LitPixels(typed.get(), ScratchpadArea()), 20);

    ASSERT_TRUE(client.SendKey(kClear));
    ASSERT_TRUE(WaitForWritten(gauge, 4));
    SurfacePtr cleared = LoadPicture();
    ASSERT_TRUE(cleared);
    EXPECT_EQ(LitPixels(cleared.get(), ScratchpadArea()), 0);

    // A key that changes nothing draws nothing.
    ASSERT_TRUE(client.SendKey(kUp));
    ASSERT_TRUE(client.SendKey(kInit));
    ASSERT_TRUE(WaitForWritten(gauge, 5));
    EXPECT_EQ(Written(gauge), 5);
    EXPECT_EQ(CountLines(gauge.Stdout(), "GAUGE: code 17 (UP)"), 1);

    gauge.Signal(SIGTERM);
    EXPECT_EQ(gauge.Wait(5s), std::optional<int>(0));
    EXPECT_FALSE(txtest::FileExists(m_socket));
    // Nothing but the picture itself is left in the folder.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_sandbox.settings())) {
        EXPECT_EQ(entry.path().filename(), "MCDU_Dspl.png");
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(GaugeProcessTest, PictureOnDiskIsAlwaysWhole) {
    m_sandbox.CreateSettingsFolder();
    txtest::ChildProcess gauge;
    StartGauge(gauge);
    ASSERT_TRUE(WaitForWritten(gauge, 1));

    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> broken{0};
    std::thread reader([&] {
        while (!stop) {
            const std::string bytes = txtest::ReadFile(m_picture);
            SDL_Surface* image =
                IMG_Load_RW(SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size())), 1);
            if (image == nullptr || image->w != McduRenderer::kImageWidth) ++broken;
            if (image != nullptr) SDL_FreeSurface(image);
            ++reads;
        }
    });
    mcdupipe::McduPipeClient client(m_socket, m_quiet);
    ASSERT_TRUE(client.ConnectMcduPipe());
    constexpr int kPairs = 40;
    for (int i = 0; i < kPairs; ++i) {
        ASSERT_TRUE(client.SendKey(CodeOf('Q')));
        ASSERT_TRUE(client.SendKey(kClear));
    }
    EXPECT_TRUE(WaitForWritten(gauge, 1 + 2 * kPairs));
    stop = true;
    reader.join();
    EXPECT_EQ(broken.load(), 0) << "of " << reads.load() << " reads";
    EXPECT_GT(reads.load(), 10);
}

TEST_F(GaugeProcessTest, MessagesSplitProbedClosedAndMalformed) {
    txtest::ChildProcess gauge;
    StartGauge(gauge);
    const int fd = ConnectRaw();
    ASSERT_GE(fd, 0);
    // One message in two writes.
    ASSERT_EQ(::write(fd, "\x27", 1), 1);
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(::write(fd, "\x00", 1), 1);
    ASSERT_EQ(::write(fd, "\x28\x01", 2), 2);
    ASSERT_EQ(::write(fd, "\xFE\x00", 2), 2);
    ASSERT_TRUE(txtest::WaitUntil(
        [&] { return gauge.Stdout().find("MSG_PIPE_DUMMY") != std::string::npos; }, 10s));
    std::string out = gauge.Stdout();
    EXPECT_EQ(CountLines(out, "GAUGE: code 39 (A)"), 1);
    EXPECT_EQ(CountLines(out, "GAUGE: malformed message 0x28 0x01 ignored"), 1);
    EXPECT_EQ(CountLines(out, "GAUGE: code 254 (MSG_PIPE_DUMMY): flight-start probe acknowledged"),
              1);

    // The close message ends this connection; the next one is served.
    ASSERT_EQ(::write(fd, "\xFF\x00", 2), 2);
    char byte = 0;
    EXPECT_EQ(::read(fd, &byte, 1), 0);  // dropped by the gauge
    ::close(fd);
    EXPECT_TRUE(txtest::WaitUntil(
        [&] { return gauge.Stdout().find("MSG_PIPE_CLOSE") != std::string::npos; }, 5s));
    mcdupipe::McduPipeClient client(m_socket, m_quiet);
    ASSERT_TRUE(client.ConnectMcduPipe());
    ASSERT_TRUE(client.SendKey(CodeOf('B')));
    EXPECT_TRUE(txtest::WaitUntil(
        [&] { return gauge.Stdout().find("GAUGE: code 40 (B)") != std::string::npos; }, 10s));
    EXPECT_EQ(CountLines(gauge.Stdout(), "program connected (connection 2)"), 1);
    // No settings folder in this sandbox: said once, never created.
    EXPECT_EQ(CountLines(gauge.Stdout(), "GAUGE: display not written"), 1);
    EXPECT_FALSE(txtest::FileExists(m_sandbox.settings()));
}

TEST_F(GaugeProcessTest, TakesOverAStaleSocketButNeverALiveOne) {
    txtest::ChildProcess first;
    StartGauge(first);
    // The pipe folder was made for us, private.
    const auto folder = std::filesystem::status(std::filesystem::path(m_socket).parent_path());
    EXPECT_EQ(folder.permissions(), std::filesystem::perms::owner_all);

    txtest::ChildProcess intruder;
    ASSERT_TRUE(intruder.Start(txtest::BinaryPath("gauge-standin"), {}, m_sandbox.Env()));
    EXPECT_EQ(intruder.Wait(10s), std::optional<int>(1));
    EXPECT_EQ(CountLines(intruder.Stdout(), "another gauge listens on " + m_socket), 1);
    EXPECT_TRUE(first.Running());

    mcdupipe::McduPipeClient client(m_socket, m_quiet);
    ASSERT_TRUE(client.ConnectMcduPipe());
    ASSERT_TRUE(client.SendKey(1));
    EXPECT_TRUE(txtest::WaitUntil(
        [&] { return first.Stdout().find("GAUGE: code 1 (LSK 2)") != std::string::npos; }, 10s));

    first.Signal(SIGKILL);
    ASSERT_TRUE(first.Wait(5s).has_value());
    ASSERT_TRUE(txtest::FileExists(m_socket));  // left behind
    txtest::ChildProcess second;
    StartGauge(second);
    EXPECT_EQ(CountLines(second.Stdout(), "GAUGE: removed the stale socket " + m_socket), 1);
    second.Signal(SIGINT);
    EXPECT_EQ(second.Wait(5s), std::optional<int>(0));
    EXPECT_FALSE(txtest::FileExists(m_socket));
}

TEST_F(GaugeProcessTest, OptionsChooseFolderSocketAndLog) {
    txtest::TempDir other;
    const std::string socket = other.path() + "/sock/gauge";
    const std::string log = other.path() + "/gauge.log";
    txtest::ChildProcess gauge;
    ASSERT_TRUE(gauge.Start(txtest::BinaryPath("gauge-standin"),
                            {"--settings", other.path(), "--socket", socket, "--log", log},
                            m_sandbox.Env()));
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            return txtest::ReadFile(log).find("GAUGE: listening on " + socket) != std::string::npos;
        },
        10s));
    EXPECT_TRUE(txtest::FileExists(other.path() + "/MCDU_Dspl.png"));
    EXPECT_FALSE(txtest::FileExists(m_socket));
    gauge.Signal(SIGTERM);
    EXPECT_EQ(gauge.Wait(5s), std::optional<int>(0));

    txtest::ChildProcess wrong;
    ASSERT_TRUE(wrong.Start(txtest::BinaryPath("gauge-standin"), {"--socket"}, m_sandbox.Env()));
    EXPECT_EQ(wrong.Wait(5s), std::optional<int>(2));
    EXPECT_NE(wrong.Stderr().find("usage: gauge-standin"), std::string::npos);
}

}  // namespace
