// The program's icon and manifest as the system itself reads them from the module. (The skin's
// pixels: the window test under Wine.)

#include <gtest/gtest.h>

#include <string>

#include "platform/WindowsHeader_win32.h"
#include "res/ResourceText.h"

namespace {

// The square `bitmap`'s pixels as B, G, R and alpha bytes, rows bottom-up.
std::string Pixels(HBITMAP bitmap, int size) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = info.bmiHeader.biHeight = size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::string pixels(static_cast<std::size_t>(size) * size * 4, '\0');
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, size, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows == size ? pixels : "";
}

TEST(WindowsResourcesTest, TheSystemLoadsTheIconAtEverySizeWithItsTransparentCorners) {
    for (int size : {256, 128, 64, 48, 32, 16}) {
        HICON icon = static_cast<HICON>(LoadImageA(
            GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info)) << size;
        const std::string pixels = Pixels(info.hbmColor, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(size) * size * 4);
        // A rounded tile: clear at the corner, opaque in the middle.
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
