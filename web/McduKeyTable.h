#pragma once
// The 69 keys of the remote MCDU, in the order of the keyboard page's image map. The rectangles are
// in pixels of the MCDU picture "mcdu_bg.jpg" (left, top, right, bottom), kept as single-precision
// values from the picture's key grids; the page writes each one rounded half up.

#include <array>
#include <cstddef>

namespace web {

struct McduKey {
    const char* path;   // "/MCDU_KB_" and the two digits of `code`
    int code;           // byte sent into the MCDU pipe when the key is pressed
    const char* label;  // the key's name in the page's HTML comment ("LSK 1", "FN DIR", "AL A")
    float x1, y1, x2, y2;
};

inline constexpr std::size_t kMcduKeyCount = 69;

extern const std::array<McduKey, kMcduKeyCount> McduKeyTable;

}  // namespace web
