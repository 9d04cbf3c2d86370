#pragma once
// The application icon as a Windows .ico file, for the Windows program's resources (windres turns
// it into the icon group 128 and its images). The images are the same pictures the Linux resource
// table carries as PNG files.

#include <cstdint>
#include <vector>

#include "tools/picture-gen/Canvas.h"

class IconFile {
  public:
    // An image stored as its PNG file, as Windows Vista and later read them: meant for the large
    // sizes, where a PNG is a fraction of the uncompressed pixels.
    void AddPng(int size, std::vector<std::uint8_t> png);
    // An image stored uncompressed, as every Windows version and Wine read it without a PNG
    // decoder: 32 bits per pixel with alpha, rows bottom-up, and the 1-bit mask behind it.
    void AddBitmap(const Canvas& picture);

    // The whole file: the directory, then the images in the order they were added.
    std::vector<std::uint8_t> Encode() const;

  private:
    struct Image {
        int size;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Image> m_images;
};
