// The window's skin and picture controls on Win32, in this process on the test display: hooking
// and unhooking the skin's procedure, the skin's painting, and the picture control's load, resize,
// draw and failure cases, read back from the windows' own pixels.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/WindowsHeader_win32.h"
#include "res/Resources.h"
#include "tests/support/TestSupport.h"
#include "ui/ResourceFinder.h"
#include "ui/win32/PictureEx.h"
#include "ui/win32/Skin.h"

namespace {

using ui::CPictureEx;
using ui::CSkin;

constexpr const char* kClassName = "TxSkinTestWindow";

// A BMP file of the build's res folder as 0x00RRGGBB pixels, rows top-down, and its size.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;
};

std::uint32_t Read32(const std::string& b, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, b.data() + at, 4);
    return value;
}

Pixels BmpFile(const std::string& name) {
    const std::string file = txtest::ReadFile(std::string(TX_BIN_DIR) + "/../res/" + name + ".bmp");
    Pixels out;
    if (file.size() < 54) return out;
    out.width = static_cast<int>(Read32(file, 18));
    out.height = static_cast<int>(Read32(file, 22));
    const std::size_t stride = (static_cast<std::size_t>(out.width) * 3 + 3) & ~std::size_t{3};
    for (int y = 0; y < out.height; ++y) {
        const std::size_t row = Read32(file, 10) + (out.height - 1 - y) * stride;
        for (int x = 0; x < out.width; ++x) {
            const auto* p = reinterpret_cast<const unsigned char*>(file.data() + row + x * 3);
            out.rgb.push_back(p[0] | (p[1] << 8) | (p[2] << 16));
        }
    }
    return out;
}

// What `window` shows in its client area, read back from its display context.
Pixels Shown(HWND window, int width, int height) {
    Pixels out;
    out.width = width;
    out.height = height;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC source = GetDC(window);
    HDC copy = CreateCompatibleDC(source);
    HBITMAP target = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(copy, target);
    BitBlt(copy, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) out.rgb.push_back(pixels[i] & 0xFFFFFF);
    SelectObject(copy, old);
    DeleteObject(target);
    DeleteDC(copy);
    ReleaseDC(window, source);
    return out;
}

int Differences(const Pixels& a, const Pixels& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    int count = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) count += a.rgb[i] != b.rgb[i];
    return count;
}

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// Every message the windows' own procedure saw, by kind.
int g_paintsSeen = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) ++g_paintsSeen;
    return DefWindowProcA(window, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (GetSystemMetrics(SM_CXSCREEN) <= 0) GTEST_SKIP() << "no display";
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = CountingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        RegisterClassA(&windowClass);
        g_paintsSeen = 0;
    }
    void TearDown() override {
        for (HWND window : m_windows) DestroyWindow(window);
        ui::SetResourceFinder({});
    }

    HWND MakeWindow(int x, int y, int width, int height) {
        HWND window =
            CreateWindowExA(0, kClassName, "skin test", WS_POPUP | WS_VISIBLE, x, y, width, height,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(window, nullptr);
        m_windows.push_back(window);
        Pump();
        return window;
    }

    // A static control with id 1045 on a visible parent, at (10, 12), 50 x 20: the picture
    // control's window before its first load.
    HWND MakeControl() {
        HWND parent = MakeWindow(0, 0, 400, 400);
        HWND control = CreateWindowExA(0, "STATIC", "PictureEx3", WS_CHILD | WS_VISIBLE, 10, 12, 50,
                                       20, parent, reinterpret_cast<HMENU>(1045),
                                       GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(control, nullptr);
        return parent;
    }

    static void Pump() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }

    static RECT PlaceOf(HWND control) {
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    std::vector<HWND> m_windows;
};

using PictureControlTest = WindowTest;
using SkinTest = WindowTest;

TEST_F(PictureControlTest, LoadingResizesTheControlAtItsPlaceAndDrawingShowsThePictureUpright) {
    HWND parent = MakeControl();
    CPictureEx picture;
    ASSERT_TRUE(picture.SubclassDlgItem(1045, parent));
    EXPECT_FALSE(picture.Draw()) << "nothing loaded yet";

    ASSERT_TRUE(picture.LoadFromResource("BITMAP_BTNONLINE_0", "BMP"));
    EXPECT_EQ(picture.GetPictureSize().cx, 144);
    EXPECT_EQ(picture.GetPictureSize().cy, 144);
    const RECT place = PlaceOf(picture.GetSafeHwnd());
    EXPECT_EQ(place.left, 10);
    EXPECT_EQ(place.top, 12);
    EXPECT_EQ(place.right - place.left, 144);
    EXPECT_EQ(place.bottom - place.top, 144);

    ASSERT_TRUE(picture.Draw());
    UpdateWindow(picture.GetSafeHwnd());
    const Pixels expected = BmpFile("BITMAP_BTNONLINE_0");
    ASSERT_EQ(expected.width, 144);
    EXPECT_EQ(Differences(Shown(picture.GetSafeHwnd(), 144, 144), expected), 0);

    // The other picture in its place: unload, load, draw.
    picture.Unload();
    EXPECT_FALSE(picture.IsSurfaceReady());
    ASSERT_TRUE(picture.LoadFromResource("BITMAP_BTNONLINE_1", "BMP"));
    ASSERT_TRUE(picture.Draw());
    UpdateWindow(picture.GetSafeHwnd());
    EXPECT_EQ(Differences(Shown(picture.GetSafeHwnd(), 144, 144), BmpFile("BITMAP_BTNONLINE_1")),
              0);
}

TEST_F(PictureControlTest, AMissingResourceFailsWithoutTouchingTheControl) {
    HWND parent = MakeControl();
    CPictureEx picture;
    ASSERT_TRUE(picture.SubclassDlgItem(1045, parent));
    ASSERT_TRUE(picture.LoadFromResource("BITMAP_BTNEXIT_0", "BMP"));
    EXPECT_FALSE(picture.LoadFromResource("BITMAP_BTNEXIT_2", "BMP"));
    EXPECT_FALSE(picture.LoadFromResource("BITMAP_BTNEXIT_0", "BITMAP"));
    // Still the first picture, its surface and the control's size from it.
    EXPECT_TRUE(picture.HasPicture());
    EXPECT_TRUE(picture.IsSurfaceReady());
    const RECT place = PlaceOf(picture.GetSafeHwnd());
    EXPECT_EQ(place.right - place.left, 80);
    EXPECT_EQ(place.bottom - place.top, 25);
    EXPECT_TRUE(picture.Draw());
}

TEST_F(PictureControlTest, UndecodableAndGifDataLeaveTheControlEmpty) {
    HWND parent = MakeControl();
    CPictureEx picture;
    ASSERT_TRUE(picture.SubclassDlgItem(1045, parent));
    // Two pictures the program does not have; every other name as the program has it.
    ui::SetResourceFinder([](std::string_view name, std::string_view type) {
        static const unsigned char kGif[] = "GIF89a\x01\x00\x01\x00\x00\x00\x00;";
        static const unsigned char kJunk[] = "BM this is no picture at all";
        if (name == "GIF") return std::span<const unsigned char>(kGif, sizeof kGif - 1);
        if (name == "JUNK") return std::span<const unsigned char>(kJunk, sizeof kJunk - 1);
        return res::FindResource(name, type);
    });
    for (const char* name : {"GIF", "JUNK"}) {
        ASSERT_TRUE(picture.LoadFromResource("BITMAP_BTNEXIT_1", "BMP"));
        EXPECT_FALSE(picture.LoadFromResource(name, "BMP")) << name;
        EXPECT_FALSE(picture.HasPicture()) << name;
        EXPECT_FALSE(picture.IsSurfaceReady()) << name;
        EXPECT_FALSE(picture.Draw()) << name;
    }
}

TEST_F(PictureControlTest, WithoutItsControlNothingLoads) {
    CPictureEx picture;
    EXPECT_FALSE(picture.SubclassDlgItem(1045, nullptr));
    EXPECT_FALSE(picture.LoadFromResource("BITMAP_BTNONLINE_0", "BMP"));
    EXPECT_FALSE(picture.CreateSurface(10, 10));
    EXPECT_FALSE(picture.Draw());
}

TEST_F(SkinTest, HookingPaintsTheWholeWindowFromTheSkinAndHandsEveryMessageOn) {
    HWND window = MakeWindow(20, 30, 320, 320);
    CSkin skin(129);
    ASSERT_NE(skin.GetMemDC(), nullptr);
    EXPECT_EQ(skin.GetWidth(), 320);
    EXPECT_EQ(skin.GetHeight(), 320);
    EXPECT_FALSE(skin.Refresh()) << "not hooked yet";
    EXPECT_FALSE(skin.Unhook());

    ASSERT_TRUE(skin.Hook(window));
    EXPECT_TRUE(skin.IsHooked());
    EXPECT_EQ(GetPropA(window, CSkin::kPropertyName), &skin);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)),
              &CSkin::SkinWndProc);
    // The window keeps its whole rectangle: no region.
    EXPECT_EQ(GetWindowRgn(window, CreateRectRgn(0, 0, 0, 0)), ERROR);

    g_paintsSeen = 0;
    EXPECT_TRUE(skin.Refresh());
    UpdateWindow(window);
    EXPECT_EQ(g_paintsSeen, 1) << "the window's own procedure sees the paint after the skin";
    EXPECT_EQ(Differences(Shown(window, 320, 320), BmpFile("skin_129")), 0);

    EXPECT_TRUE(skin.Unhook());
    EXPECT_FALSE(skin.IsHooked());
    EXPECT_EQ(GetPropA(window, CSkin::kPropertyName), nullptr);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)), &CountingProc);
    EXPECT_FALSE(skin.Unhook());
}

TEST_F(SkinTest, HookingASecondWindowGivesTheFirstItsProcedureBack) {
    HWND first = MakeWindow(0, 0, 100, 100);
    HWND second = MakeWindow(200, 0, 100, 100);
    CSkin skin(129);
    ASSERT_TRUE(skin.Hook(first));
    ASSERT_TRUE(skin.Hook(second));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(first, GWLP_WNDPROC)), &CountingProc);
    EXPECT_EQ(GetPropA(first, CSkin::kPropertyName), nullptr);
    EXPECT_EQ(GetPropA(second, CSkin::kPropertyName), &skin);
}

TEST_F(SkinTest, DeletingAHookedSkinRestoresTheWindow) {
    HWND window = MakeWindow(0, 0, 100, 100);
    auto* skin = new CSkin(129);
    ASSERT_TRUE(skin->Hook(window));
    delete skin;
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)), &CountingProc);
    EXPECT_EQ(GetPropA(window, CSkin::kPropertyName), nullptr);
}

TEST_F(SkinTest, AWindowWithoutThePropertyGetsTheDefaultProcedure) {
    HWND window = MakeWindow(0, 0, 100, 100);
    SetWindowTextA(window, "twelve chars");
    EXPECT_EQ(CSkin::SkinWndProc(window, WM_GETTEXTLENGTH, 0, 0), 12);
    EXPECT_EQ(CSkin::SkinWndProc(window, WM_GETTEXTLENGTH, 0, 0),
              PlainProc(window, WM_GETTEXTLENGTH, 0, 0));
}

}  // namespace
