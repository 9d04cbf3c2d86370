// The program's resources as the system itself reads them from the module: LoadImage, LoadString
// and the loader's manifest.

#include <gtest/gtest.h>

#include <string>

#include "platform/WindowsHeader_win32.h"
#include "res/ResourceText.h"
#include "tests/support/TestSupport.h"

namespace {

// The square `bitmap`'s pixels at `bits` a pixel, rows bottom-up as a BMP file holds them.
std::string Rows(HBITMAP bitmap, int size, int bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = info.bmiHeader.biHeight = size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    info.bmiHeader.biCompression = BI_RGB;
    std::string rows(static_cast<std::size_t>(size) * size * bits / 8, '\0');
    HDC screen = GetDC(nullptr);
    const int got = GetDIBits(screen, bitmap, 0, size, rows.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return got == size ? rows : "";
}

TEST(WindowsResourcesTest, TheSkinLoadsWithTheGeneratorsPixels) {
    HBITMAP skin = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SKIN), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(skin, nullptr);
    const std::string rows = Rows(skin, 320, 24);
    DeleteObject(skin);
    ASSERT_EQ(rows.size(), 320u * 320u * 3);
    // The generator's file is 24 bits a pixel, its rows (no padding at 320) the last bytes.
    const std::string file = txtest::ReadFile(std::string(TX_BIN_DIR) + "/../res/skin_129.bmp");
    EXPECT_TRUE(file.ends_with(rows)) << "the skin's pixels changed on the way";
}

TEST(WindowsResourcesTest, TheSystemLoadsTheIconAtEverySizeWithItsTransparentCorners) {
    for (int size : {256, 128, 64, 48, 32, 16}) {
        HICON icon = static_cast<HICON>(LoadImageA(
            GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info)) << size;
        const std::string pixels = Rows(info.hbmColor, size, 32);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(size) * size * 4);
        // A rounded tile: clear at the corner, opaque in the middle (each pixel B, G, R, A).
        EXPECT_EQ(pixels[3], 0) << size;
        EXPECT_EQ(pixels[((size / 2) * size + size / 2) * 4 + 3], '\xff') << size;
    }
}

// The loader reads the manifest as resource 1 of type RT_MANIFEST: without it Windows would run
// the program with compatibility shims and scale nothing the way the face expects.
TEST(WindowsResourcesTest, TheProgramCarriesItsManifest) {
    const std::string exe = std::string(TX_BIN_DIR) + "/TarvelXConnectExtended.exe";
    HMODULE program = LoadLibraryExA(exe.c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(program, nullptr) << exe << ": error " << GetLastError();
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no manifest resource";
    const auto* data = static_cast<const char*>(LockResource(LoadResource(program, found)));
    const std::string manifest(data, SizeofResource(program, found));
    FreeLibrary(program);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    // The face is drawn in pixels: the system scales it, the program does not.
    EXPECT_NE(manifest.find(">false</dpiAware>"), std::string::npos);
}

}  // namespace
