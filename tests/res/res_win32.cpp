// The program's resources as the Windows build carries them: compiled by the resource compiler
// from the files picture-gen draws for both systems, and read back from the module the Windows
// way (res/Resources_win32.cpp, LoadImage, LoadString, the dialog manager).

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

std::string AsText(Bytes bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::uint32_t Read32(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8) |
           (static_cast<unsigned char>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24);
}
std::uint16_t Read16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}

// The images of the .ico file picture-gen wrote, by width.
std::vector<std::pair<int, std::string>> IcoImages(const std::string& ico) {
    std::vector<std::pair<int, std::string>> images;
    const int count = Read16(ico, 4);
    for (int i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * static_cast<std::size_t>(i);
        const int width = static_cast<unsigned char>(ico[entry]) == 0
                              ? 256
                              : static_cast<unsigned char>(ico[entry]);
        images.emplace_back(width, ico.substr(Read32(ico, entry + 12), Read32(ico, entry + 8)));
    }
    return images;
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

struct Picture {
    const char* name;
    const char* file;
};
const Picture kPictures[] = {
    {"BITMAP_BTNONLINE_0", "BITMAP_BTNONLINE_0.bmp"},
    {"BITMAP_BTNONLINE_1", "BITMAP_BTNONLINE_1.bmp"},
    {"BITMAP_BTNEXIT_0", "BITMAP_BTNEXIT_0.bmp"},
    {"BITMAP_BTNEXIT_1", "BITMAP_BTNEXIT_1.bmp"},
};

TEST(WindowsResourcesTest, TheFourPicturesAreTheGeneratorsBmpFilesByteForByte) {
    for (const Picture& picture : kPictures) {
        const std::string file = GeneratedFile(picture.file);
        ASSERT_GT(file.size(), 54u) << picture.file;
        EXPECT_EQ(AsText(res::FindResource(picture.name, "BMP")), file) << picture.name;
    }
}

TEST(WindowsResourcesTest, NamesAndTypesAreFoundWithoutRegardToCaseAndOnlyTogether) {
    EXPECT_EQ(res::FindResource("bitmap_btnexit_1", "bmp").data(),
              res::FindResource("BITMAP_BTNEXIT_1", "BMP").data());
    EXPECT_FALSE(res::FindResource("#129", "bitmap").empty());
    EXPECT_TRUE(res::FindResource("#129", "BMP").empty());
    EXPECT_TRUE(res::FindResource("BITMAP_BTNONLINE_0", "BITMAP").empty());
    EXPECT_TRUE(res::FindResource("BITMAP_BTNONLINE_0", "ICON").empty());
    EXPECT_TRUE(res::FindResource("BITMAP_BTNONLINE_2", "BMP").empty());
    EXPECT_TRUE(res::FindResource("BITMAP_BTNONLINE_", "BMP").empty());
    EXPECT_TRUE(res::FindResource("", "BMP").empty());
    EXPECT_TRUE(res::FindResource("#128", "BMP").empty());
    EXPECT_TRUE(res::FindResource("#", "BMP").empty());
    EXPECT_TRUE(res::FindIcon("#129", 32).empty());
}

TEST(WindowsResourcesTest, TheSkinIsTheGeneratorsBitmapAndLoadsInTheScreensFormat) {
    const std::string file = GeneratedFile("skin_129.bmp");
    ASSERT_GT(file.size(), 14u);
    // The bitmap resource is the file without its 14-byte file header.
    EXPECT_EQ(AsText(res::FindResource(res::kSkinName, "BITMAP")), file.substr(14));

    HBITMAP skin = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SKIN), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(skin, nullptr);
    BITMAP info{};
    ASSERT_NE(GetObjectA(skin, sizeof info, &info), 0);
    EXPECT_EQ(info.bmWidth, 320);
    EXPECT_EQ(info.bmHeight, 320);
    std::vector<std::uint32_t> pixels = Pixels(skin, 320, 320);
    DeleteObject(skin);
    ASSERT_EQ(pixels.size(), 320u * 320u);
    for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    EXPECT_TRUE(pixels == BmpFilePixels(file)) << "the skin's pixels changed on the way";
}

TEST(WindowsResourcesTest, TheIconGroupHoldsTheIcoFilesImagesAndFindIconPicksAsOnLinux) {
    const std::string ico = GeneratedFile("icon_128.ico");
    ASSERT_GT(ico.size(), 6u);
    const auto images = IcoImages(ico);
    ASSERT_EQ(images.size(), 5u);
    for (const auto& [width, bytes] : images) {
        EXPECT_EQ(AsText(res::FindIcon(res::kIconName, width)), bytes) << width;
    }
    // 256 pixels as the PNG file itself, the same bytes the Linux table carries.
    EXPECT_EQ(AsText(res::FindIcon("#128", 256)), GeneratedFile("icon_128_256.png"));
    EXPECT_EQ(AsText(res::FindIcon("#128", 40)), AsText(res::FindIcon("#128", 48)));
    EXPECT_EQ(AsText(res::FindIcon("#128", 16)), AsText(res::FindIcon("#128", 32)));
    EXPECT_EQ(AsText(res::FindIcon("#128", 1024)), AsText(res::FindIcon("#128", 256)));
    EXPECT_EQ(AsText(res::FindIcon("#128", 129)), AsText(res::FindIcon("#128", 256)));
    // The smaller ones uncompressed: an information header with twice the height (colour and
    // mask) and 32 bits per pixel.
    const std::string small(AsText(res::FindIcon("#128", 32)));
    ASSERT_GE(small.size(), 40u);
    EXPECT_EQ(Read32(small, 0), 40u);
    EXPECT_EQ(Read32(small, 4), 32u);
    EXPECT_EQ(Read32(small, 8), 64u);
    EXPECT_EQ(Read16(small, 14), 32u);
}

TEST(WindowsResourcesTest, TheSystemLoadsTheIconAtEverySizeWithItsTransparentCorners) {
    for (int size : {256, 128, 64, 48, 32, 16}) {
        HICON icon = static_cast<HICON>(LoadImageA(
            GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info)) << size;
        BITMAP colour{};
        ASSERT_NE(GetObjectA(info.hbmColor, sizeof colour, &colour), 0);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
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
}

TEST(WindowsResourcesTest, TheStringTableHoldsTheMenuEntryAndTheAboutTexts) {
    EXPECT_EQ(res::LoadResourceString(101), "&About TarvelXConnect Extended...");
    EXPECT_EQ(res::LoadResourceString(res::kIdsAboutVersion),
              "TarvelX Connect Extended. v.1.2.x.x.");
    EXPECT_EQ(res::LoadResourceString(res::kIdsAboutDescription), TX_TEXT_ABOUT_DESCRIPTION);
    EXPECT_FALSE(res::LoadResourceString(res::kIdsAboutDescription).empty());
    EXPECT_EQ(res::LoadResourceString(res::kIdsAboutTitle), "About program");
    char text[64] = {};
    EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), 101, text, sizeof text), 33);
    EXPECT_STREQ(text, "&About TarvelXConnect Extended...");
    EXPECT_EQ(res::LoadResourceString(0), "");
    EXPECT_EQ(res::LoadResourceString(100), "");
    EXPECT_EQ(res::LoadResourceString(105), "");
    EXPECT_EQ(res::LoadResourceString(-101), "");
}

std::string ControlText(HWND control) {
    char text[256] = {};
    GetWindowTextA(control, text, sizeof text);
    return text;
}

TEST(WindowsResourcesTest, TheDialogTemplatesMakeTheMainWindowAndTheAboutBox) {
    if (GetSystemMetrics(SM_CXSCREEN) <= 0) GTEST_SKIP() << "no display";
    auto quiet = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
    HINSTANCE module = GetModuleHandleA(nullptr);

    HWND about = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_ABOUTBOX), nullptr, quiet, 0);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(ControlText(about), "About program");
    const LONG aboutStyle = GetWindowLongA(about, GWL_STYLE);
    EXPECT_TRUE(aboutStyle & WS_CAPTION);
    EXPECT_TRUE(aboutStyle & WS_SYSMENU);
    std::vector<std::string> texts;
    HWND ok = nullptr;
    for (HWND child = GetWindow(about, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char kind[32] = {};
        GetClassNameA(child, kind, sizeof kind);
        if (GetDlgCtrlID(child) == IDOK) ok = child;
        if (lstrcmpiA(kind, "Static") == 0 &&
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            texts.push_back(ControlText(child));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{TX_TEXT_ABOUT_VERSION, TX_TEXT_ABOUT_DESCRIPTION}));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ControlText(ok), "OK");
    EXPECT_EQ(LOWORD(SendMessageA(about, DM_GETDEFID, 0, 0)), IDOK);
    DestroyWindow(about);

    HWND main = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_MAIN_WINDOW), nullptr, quiet, 0);
    ASSERT_NE(main, nullptr);
    const LONG style = GetWindowLongA(main, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_VISIBLE) << "shown only once it is in its place";
    EXPECT_TRUE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    // No frame: the client area is the whole window, so the skin covers it exactly.
    SetWindowPos(main, nullptr, 0, 0, 320, 320, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 320);
    for (int id : {IDC_PICTURE_ONLINE, IDC_PICTURE_EXIT}) {
        HWND control = GetDlgItem(main, id);
        ASSERT_NE(control, nullptr) << id;
        // Without the notify style the control lets presses through to the window.
        EXPECT_FALSE(GetWindowLongA(control, GWL_STYLE) & SS_NOTIFY) << id;
    }
    DestroyWindow(main);
}

}  // namespace

// The program's manifest, read back from the exe as the loader reads it: resource 1 of type
// RT_MANIFEST. Without it Windows would run the program under its defaults (compatibility
// shims on new Windows, the old controls in its boxes) and nothing else would show.
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
    for (const char* windows : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a",     // 7
                                "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",     // 8
                                "1f676c76-80e1-4239-95bb-83d0f6d0da78",     // 8.1
                                "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {  // 10 and 11
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + windows + "}\"/>"),
                  std::string::npos)
            << windows;
    }
    // The face is drawn in pixels: the system scales it, the program does not.
    EXPECT_NE(manifest.find(">false</dpiAware>"), std::string::npos);
    EXPECT_EQ(manifest.find("dpiAwareness"), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
}
