#pragma once
// Decodes BMP files held in memory. SDL's decoder does the work; the header is checked first, so
// that a file that promises more pixels than it holds is refused at once instead of making SDL
// allocate and read a picture of that size.

#include <SDL.h>

#include <cstddef>

namespace ui {

// Largest width or height accepted: far beyond any picture of this program.
inline constexpr int kMaxBmpSide = 8192;

// The decoded picture, owned by the caller, or none for data that is not a sound BMP file.
SDL_Surface* DecodeBmp(const unsigned char* data, size_t size);

}  // namespace ui
