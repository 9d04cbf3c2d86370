#include "ui/sdl/BmpDecoder.h"

#include <cstdint>
#include <cstdlib>

namespace ui {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kCoreHeaderSize = 12;  // the oldest information header (OS/2)
constexpr uint32_t kUncompressed = 0;
constexpr uint32_t kBitFields = 3;

uint32_t ReadLittleEndian(const unsigned char* at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
    return value;
}

bool HeaderIsSound(const unsigned char* data, size_t size) {
    if (size < kFileHeaderSize + kCoreHeaderSize || data[0] != 'B' || data[1] != 'M') return false;
    const uint32_t pixelOffset = ReadLittleEndian(data + 10, 4);
    const uint32_t infoSize = ReadLittleEndian(data + 14, 4);
    if (infoSize < kCoreHeaderSize || kFileHeaderSize + infoSize > size) return false;

    int64_t width = 0;
    int64_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t compression = kUncompressed;
    if (infoSize == kCoreHeaderSize) {
        width = ReadLittleEndian(data + 18, 2);
        height = ReadLittleEndian(data + 20, 2);
        bitsPerPixel = ReadLittleEndian(data + 24, 2);
    } else {
        if (infoSize < 40) return false;
        width = static_cast<int32_t>(ReadLittleEndian(data + 18, 4));
        height = static_cast<int32_t>(ReadLittleEndian(data + 22, 4));
        bitsPerPixel = ReadLittleEndian(data + 28, 2);
        compression = ReadLittleEndian(data + 30, 4);
    }
    height = std::llabs(height);  // negative: top-down rows
    if (width <= 0 || height <= 0 || width > kMaxBmpSide || height > kMaxBmpSide) return false;
    if (bitsPerPixel == 0 || bitsPerPixel > 32) return false;
    if (compression != kUncompressed && compression != kBitFields) return true;  // RLE: SDL checks
    const int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
    return pixelOffset <= size && static_cast<int64_t>(size - pixelOffset) >= rowBytes * height;
}

}  // namespace

SDL_Surface* DecodeBmp(const unsigned char* data, size_t size) {
    if (data == nullptr || !HeaderIsSound(data, size)) return nullptr;
    SDL_RWops* stream = SDL_RWFromConstMem(data, static_cast<int>(size));
    if (stream == nullptr) return nullptr;
    return SDL_LoadBMP_RW(stream, 1);
}

}  // namespace ui
