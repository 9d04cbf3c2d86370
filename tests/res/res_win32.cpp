// The program's resources as the system itself reads them from the module: LoadImage, LoadString
// and the loader's manifest.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/WindowsHeader_win32.h"
#include "res/ResourceText.h"
#include "res/Resources.h"
#include "tests/support/TestSupport.h"

namespace {

using Bytes = std::span<const unsigned char>;

// A file of the build's res folder, where picture-gen wrote the pictures.
std::string GeneratedFile(const std::string& name) {
    return txtest::ReadFile(std::string(TX_BIN_DIR) + "/../res/" + name);
}

std::uint32_t Read32(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8) |
           (static_cast<unsigned char>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24);
}

// The pixels of `bitmap` as 32-bit BGRA rows, top-down.
std::vector<std::uint32_t> Pixels(HBITMAP bitmap, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height) pixels.clear();
    return pixels;
}

// The pixels of a 24-bit bottom-up BMP file's rows as 0x00RRGGBB, top-down.
std::vector<std::uint32_t> BmpFilePixels(const std::string& file) {
    const int width = static_cast<int>(Read32(file, 18));
    const int height = static_cast<int>(Read32(file, 22));
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < height; ++y) {
        const std::size_t row = Read32(file, 10) + (height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const auto* p = reinterpret_cast<const unsigned char*>(file.data() + row + x * 3);
            pixels.push_back(p[0] | (p[1] << 8) | (p[2] << 16));
        }
    }
    return pixels;
}

TEST(WindowsResourcesTest, TheSkinLoadsWithTheGeneratorsPixels) {
    HBITMAP skin = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SKIN), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(skin, nullptr);
    std::vector<std::uint32_t> pixels = Pixels(skin, 320, 320);
    DeleteObject(skin);
    ASSERT_EQ(pixels.size(), 320u * 320u);
    for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    EXPECT_TRUE(pixels == BmpFilePixels(GeneratedFile("skin_129.bmp")))
        << "the skin's pixels changed on the way";
}

TEST(WindowsResourcesTest, TheSystemLoadsTheIconAtEverySizeWithItsTransparentCorners) {
    for (int size : {256, 128, 64, 48, 32, 16}) {
        HICON icon = static_cast<HICON>(LoadImageA(
            GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info)) << size;
        const std::vector<std::uint32_t> pixels = Pixels(info.hbmColor, size, size);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(size) * size);
        // A rounded tile: clear at the corner, opaque and not black in the middle.
        EXPECT_EQ(pixels[0] >> 24, 0u) << size;
        const std::uint32_t middle = pixels[(size / 2) * size + size / 2];
        EXPECT_EQ(middle >> 24, 255u) << size;
        EXPECT_NE(middle & 0xFFFFFF, 0u) << size;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    char text[64] = {};
    EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), 101, text, sizeof text), 33);
}

}  // namespace

// The program's manifest, read back from the exe as the loader reads it (resource 1 of type
// RT_MANIFEST): without it Windows would run the program with compatibility shims and scale
// nothing the way the face expects.
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
