// The skin and the picture control on Win32, in this process on the test display: the shared
// cases (SkinCases.h) on Win32's windows, and what only the Win32 skin does.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/WindowsHeader_win32.h"
#include "tests/ui/SkinCases.h"
#include "ui/win32/PictureEx.h"
#include "ui/win32/Skin.h"

namespace txtest {

namespace {

constexpr const char* kClassName = "TxSkinTestWindow";

int g_paintsSeen = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) ++g_paintsSeen;
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// The shared cases' side of Win32: visible pop-up windows of a class of the test's own, and the
// picture control on a static control of a window of its own.
class Win32Bench {
  public:
    Win32Bench() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = CountingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        RegisterClassA(&windowClass);
    }
    ~Win32Bench() {
        skin.reset();
        for (HWND window : m_windows) DestroyWindow(window);
    }
    bool Ready() const { return GetSystemMetrics(SM_CXSCREEN) > 0; }
    // Side by side, so that no window hides another's pixels.
    HWND MakeWindow(int width = 320, int height = 320) {
        HWND window = CreateWindowExA(0, kClassName, "skin test", WS_POPUP | WS_VISIBLE,
                                      static_cast<int>(m_windows.size()) * 330, 0, width, height,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(window, nullptr);
        m_windows.push_back(window);
        for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);) {
            DispatchMessageA(&message);
        }
        return window;
    }
    bool Bare(HWND window) const { return Procedure(window) == &CountingProc; }
    bool Skinned(HWND window) const { return Procedure(window) == &ui::CSkin::SkinWndProc; }
    std::uint32_t Shown(HWND window, int x, int y) {
        UpdateWindow(window);
        HDC context = GetDC(window);
        const COLORREF colour = GetPixel(context, x, y);
        ReleaseDC(window, context);
        return std::uint32_t{GetRValue(colour)} << 16 | std::uint32_t{GetGValue(colour)} << 8 |
               GetBValue(colour);
    }
    int PaintsSeen() const { return g_paintsSeen; }
    void MakeControl() {
        HWND parent = MakeWindow(400, 400);
        EXPECT_NE(CreateWindowExA(0, "STATIC", "PictureEx3", WS_CHILD | WS_VISIBLE, 10, 12, 50, 20,
                                  parent, reinterpret_cast<HMENU>(1045), GetModuleHandleA(nullptr),
                                  nullptr),
                  nullptr);
        EXPECT_TRUE(picture.SubclassDlgItem(1045, parent));
    }
    std::array<int, 4> ControlPlace() const {
        HWND control = picture.GetSafeHwnd();
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
        return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    }
    std::uint32_t ControlShows(int x, int y) { return Shown(picture.GetSafeHwnd(), x, y); }

    std::unique_ptr<ui::CSkin> skin = std::make_unique<ui::CSkin>(129);
    ui::CPictureEx picture;
    FakeResources resources;

  private:
    static WNDPROC Procedure(HWND window) {
        return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    }
    std::vector<HWND> m_windows;
};

INSTANTIATE_TYPED_TEST_SUITE_P(SkinWin32, SkinTest, Win32Bench);

}  // namespace txtest

namespace {

// Without its property on the window, the skin's procedure answers as the system's default one.
TEST(SkinWin32Test, WithoutItsPropertyTheSkinsProcedureIsTheDefault) {
    txtest::Win32Bench b;
    if (!b.Ready()) GTEST_SKIP() << "no display";
    EXPECT_EQ(ui::CSkin::SkinWndProc(b.MakeWindow(), WM_GETTEXTLENGTH, 0, 0), 9);  // "skin test"
}

}  // namespace
