#include "tools/picture-gen/IconFile.h"

#include <stdexcept>

namespace {

constexpr std::uint32_t kDirectoryBytes = 6;
constexpr std::uint32_t kEntryBytes = 16;
constexpr std::uint32_t kInfoHeaderBytes = 40;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

}  // namespace

void IconFile::AddPng(int size, std::vector<std::uint8_t> png) {
    if (size < 1 || size > 256) throw std::invalid_argument("icon size out of range");
    m_images.push_back({size, std::move(png)});
}

void IconFile::AddBitmap(const Canvas& picture) {
    const int size = picture.width();
    if (size < 1 || size > 256 || picture.height() != size) {
        throw std::invalid_argument("icon picture must be square, at most 256 pixels");
    }
    const std::uint32_t side = static_cast<std::uint32_t>(size);
    // Each mask row holds one bit per pixel and is padded to whole 32-bit words.
    const std::uint32_t maskStride = ((side + 31) / 32) * 4;
    const std::uint32_t imageBytes = side * side * 4 + maskStride * side;
    std::vector<std::uint8_t> out;
    out.reserve(kInfoHeaderBytes + imageBytes);
    Put32(out, kInfoHeaderBytes);
    Put32(out, side);
    Put32(out, side * 2);  // the colour rows and the mask rows together
    Put16(out, 1);         // planes
    Put16(out, 32);
    Put32(out, 0);  // BI_RGB
    Put32(out, imageBytes);
    for (int i = 0; i < 4; ++i) Put32(out, 0);  // resolution, palette

    const std::vector<std::uint8_t> rgba = picture.ToRgba8();
    auto pixel = [&](std::uint32_t x, std::uint32_t y) { return &rgba[(y * side + x) * 4]; };
    for (std::uint32_t row = side; row-- > 0;) {
        for (std::uint32_t x = 0; x < side; ++x) {
            const std::uint8_t* p = pixel(x, row);
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    // The mask marks the fully transparent pixels, for whoever draws the icon without alpha.
    for (std::uint32_t row = side; row-- > 0;) {
        std::vector<std::uint8_t> bits(maskStride, 0);
        for (std::uint32_t x = 0; x < side; ++x) {
            if (pixel(x, row)[3] == 0) bits[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
        }
        out.insert(out.end(), bits.begin(), bits.end());
    }
    m_images.push_back({size, std::move(out)});
}

std::vector<std::uint8_t> IconFile::Encode() const {
    if (m_images.empty()) throw std::logic_error("icon file without images");
    std::vector<std::uint8_t> out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // an icon, not a cursor
    Put16(out, static_cast<std::uint32_t>(m_images.size()));
    std::uint32_t offset =
        kDirectoryBytes + kEntryBytes * static_cast<std::uint32_t>(m_images.size());
    for (const Image& image : m_images) {
        // 256 does not fit the byte: 0 stands for it.
        const std::uint8_t side = static_cast<std::uint8_t>(image.size == 256 ? 0 : image.size);
        out.insert(out.end(), {side, side, 0, 0});  // no palette, reserved
        Put16(out, 1);                              // planes
        Put16(out, 32);                             // bits per pixel
        Put32(out, static_cast<std::uint32_t>(image.bytes.size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(image.bytes.size());
    }
    for (const Image& image : m_images)
        out.insert(out.end(), image.bytes.begin(), image.bytes.end());
    return out;
}
