#pragma once
// The remote MCDU pages: the frameset a tablet opens, the keyboard and display page inside it,
// and the small page answered for every key press.

#include <string>

namespace web {

// Display size on the page, in pixels, written as these texts wherever the pages use them.
inline constexpr const char* kMcduDisplayWidth = "370";
inline constexpr const char* kMcduDisplayHeight = "364";

// "/MCDU": an invisible command frame over the visible keyboard frame.
std::string BuildMcduFramesetPage();

// "/MCDU_main": the MCDU picture with the image map of every key and the display canvas.
std::string BuildMcduMainPage();

// One line of the image map. Each coordinate is written rounded half up (widened to double,
// plus 0.5, cut toward zero).
void AppendMapArea(std::string& page, float x1, float y1, float x2, float y2,
                   const std::string& path, const std::string& label);

// The answer to a key press: it fetches the display image four times so that the visible frame
// follows the key at once. Its last line has no line feed.
std::string BuildMcduKeyCommandPage();

// The key code of a key path: its last two characters, read as atoi reads them (blanks skipped,
// an optional sign, then digits; no digits give 0). Not checked against the key table.
int McduKeyCodeFromPath(const std::string& path);

}  // namespace web
