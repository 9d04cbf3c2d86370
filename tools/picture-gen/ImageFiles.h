#pragma once
// Picture file formats: BMP (written byte by byte here), PNG and JPEG (through SDL_image).

#include <cstdint>
#include <string>
#include <vector>

#include "tools/picture-gen/Canvas.h"

namespace image_files {

// A complete BMP file: 14-byte file header, 40-byte information header, uncompressed 24 bits per
// pixel, rows bottom-up and padded to four bytes.
std::vector<std::uint8_t> EncodeBmp24(const Canvas& canvas);

// 8 bits per channel with alpha.
void SavePng(const Canvas& canvas, const std::string& path);
void SaveJpeg(const Canvas& canvas, const std::string& path, int quality);

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& path);

}  // namespace image_files
