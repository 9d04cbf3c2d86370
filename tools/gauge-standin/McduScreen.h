#pragma once
// What the MCDU shows at one moment: 14 lines of 24 character cells, each with its colour and its
// size. Line 0 is the title, lines 1 to 12 come in pairs (a small label line above a large data
// line, one pair per line select key), line 13 is the scratchpad.

#include <array>
#include <cstdint>

enum class McduColour : uint8_t { White, Cyan, Green, Amber, Magenta };

struct McduCell {
    char32_t ch = U' ';
    McduColour colour = McduColour::White;
    bool small = false;
    bool operator==(const McduCell&) const = default;
};

inline constexpr int kMcduRows = 14;
inline constexpr int kMcduColumns = 24;
inline constexpr int kMcduScratchpadRow = 13;

using McduScreen = std::array<std::array<McduCell, kMcduColumns>, kMcduRows>;
