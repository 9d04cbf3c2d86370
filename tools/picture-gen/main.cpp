// picture-gen: draws the program's pictures and writes the resource table that compiles them into
// the program. Run by the build; the output is the same, byte for byte, on every run.
//
//   picture-gen RES_DIR WWW_DIR
//
// RES_DIR receives the window's BMP pictures, the icon images and ResourceTable.cpp, which the
// Linux program compiles in, and icon_128.ico, which the Windows program's resource script takes
// beside the same BMP files; WWW_DIR the JPEG pictures that the web pages use.

#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/picture-gen/FontLibrary.h"
#include "tools/picture-gen/IconFile.h"
#include "tools/picture-gen/ImageFiles.h"
#include "tools/picture-gen/Pictures.h"
#include "tools/picture-gen/ResourceTableWriter.h"

namespace {

constexpr int kJpegQuality = 92;
constexpr int kIconSizes[] = {256, 128, 64, 48, 32};
// Icon images at least this big go into the .ico as PNG files, smaller ones uncompressed.
constexpr int kSmallestPngIcon = 256;

void MakeFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error || !std::filesystem::is_directory(path)) {
        throw std::runtime_error("cannot create folder " + path +
                                 (error ? ": " + error.message() : ""));
    }
}

class ImageLibrary {
  public:
    ImageLibrary() {
        const int wanted = IMG_INIT_JPG | IMG_INIT_PNG;
        if ((IMG_Init(wanted) & wanted) != wanted) {
            throw std::runtime_error(std::string("JPEG/PNG support missing: ") + IMG_GetError());
        }
    }
    ~ImageLibrary() { IMG_Quit(); }
};

void Generate(const std::string& resDir, const std::string& wwwDir) {
    MakeFolder(resDir);
    MakeFolder(wwwDir);
    ImageLibrary images;
    FontLibrary fonts;
    ResourceTableWriter table;

    auto addBmp = [&](const std::string& name, const std::string& type, const std::string& file,
                      const Canvas& picture) {
        auto bytes = image_files::EncodeBmp24(picture);
        image_files::WriteBytes(resDir + "/" + file, bytes);
        table.Add(name, type, 0, std::move(bytes));
    };
    const Canvas skin = DrawSkin(fonts);
    addBmp("#129", "BITMAP", "skin_129.bmp", skin);
    addBmp("BITMAP_BTNONLINE_0", "BMP", "BITMAP_BTNONLINE_0.bmp", DrawLamp(skin, false));
    addBmp("BITMAP_BTNONLINE_1", "BMP", "BITMAP_BTNONLINE_1.bmp", DrawLamp(skin, true));
    addBmp("BITMAP_BTNEXIT_0", "BMP", "BITMAP_BTNEXIT_0.bmp", DrawExitStrip(skin, fonts, false));
    addBmp("BITMAP_BTNEXIT_1", "BMP", "BITMAP_BTNEXIT_1.bmp", DrawExitStrip(skin, fonts, true));

    IconFile ico;
    for (int size : kIconSizes) {
        const std::string path = resDir + "/icon_128_" + std::to_string(size) + ".png";
        const Canvas icon = DrawIcon(size);
        image_files::SavePng(icon, path);
        std::vector<std::uint8_t> png = image_files::ReadBytes(path);
        if (size >= kSmallestPngIcon) {
            ico.AddPng(size, png);
        } else {
            ico.AddBitmap(icon);
        }
        table.Add("#128", "ICON", size, std::move(png));
    }
    image_files::WriteBytes(resDir + "/icon_128.ico", ico.Encode());

    image_files::SaveJpeg(DrawBanner(fonts), wwwDir + "/busbanner.jpg", kJpegQuality);
    image_files::SaveJpeg(DrawMcdu(fonts), wwwDir + "/mcdu_bg.jpg", kJpegQuality);

    // Last, so that its time stamp tells the build that every picture is there.
    table.Write(resDir + "/ResourceTable.cpp");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::string(argv[1]).empty() || std::string(argv[2]).empty()) {
        std::fprintf(stderr, "usage: picture-gen RES_DIR WWW_DIR\n");
        return 2;
    }
    try {
        Generate(argv[1], argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "picture-gen: %s\n", error.what());
        return 1;
    }
    return 0;
}
