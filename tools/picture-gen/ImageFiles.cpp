#include "tools/picture-gen/ImageFiles.h"

#include <SDL.h>
#include <SDL_image.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace image_files {

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// Borrows `pixels` for the surface's lifetime.
SDL_Surface* WrapPixels(std::vector<std::uint8_t>& pixels, int width, int height, int bytes,
                        std::uint32_t format) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), width, height,
                                                              bytes * 8, width * bytes, format);
    if (surface == nullptr) throw std::runtime_error(std::string("SDL surface: ") + SDL_GetError());
    return surface;
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp24(const Canvas& canvas) {
    const std::uint32_t width = static_cast<std::uint32_t>(canvas.width());
    const std::uint32_t height = static_cast<std::uint32_t>(canvas.height());
    const std::uint32_t stride = (width * 3 + 3) & ~3u;
    const std::uint32_t imageSize = stride * height;
    const std::uint32_t offset = 14 + 40;
    std::vector<std::uint8_t> out;
    out.reserve(offset + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageSize);
    Put32(out, 0);  // reserved
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, width);
    Put32(out, height);  // positive: bottom-up rows
    Put16(out, 1);       // planes
    Put16(out, 24);
    Put32(out, 0);  // BI_RGB
    Put32(out, imageSize);
    Put32(out, 3780);  // 96 dots per inch
    Put32(out, 3780);
    Put32(out, 0);
    Put32(out, 0);
    const std::vector<std::uint8_t> rgb = canvas.ToRgb8();
    for (std::uint32_t row = height; row-- > 0;) {
        const std::uint8_t* p = &rgb[static_cast<std::size_t>(row) * width * 3];
        for (std::uint32_t x = 0; x < width; ++x, p += 3) {
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
        for (std::uint32_t pad = width * 3; pad < stride; ++pad) out.push_back(0);
    }
    return out;
}

void SavePng(const Canvas& canvas, const std::string& path) {
    std::vector<std::uint8_t> pixels = canvas.ToRgba8();
    SDL_Surface* surface =
        WrapPixels(pixels, canvas.width(), canvas.height(), 4, SDL_PIXELFORMAT_RGBA32);
    const int result = IMG_SavePNG(surface, path.c_str());
    SDL_FreeSurface(surface);
    if (result != 0) throw std::runtime_error("cannot write " + path + ": " + IMG_GetError());
}

void SaveJpeg(const Canvas& canvas, const std::string& path, int quality) {
    std::vector<std::uint8_t> pixels = canvas.ToRgb8();
    SDL_Surface* surface =
        WrapPixels(pixels, canvas.width(), canvas.height(), 3, SDL_PIXELFORMAT_RGB24);
    const int result = IMG_SaveJPG(surface, path.c_str(), quality);
    SDL_FreeSurface(surface);
    if (result != 0) throw std::runtime_error("cannot write " + path + ": " + IMG_GetError());
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace image_files
