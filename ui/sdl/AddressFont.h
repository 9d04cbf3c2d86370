#pragma once
// The font of the address label: bold Tahoma, 10 points at 96 dots per inch (13 pixels). Debian's
// Tahoma comes with Wine and sits outside the folders fontconfig searches, so that folder is added
// before the font is looked up by name; without it the closest bold sans-serif face serves.

#include <SDL_ttf.h>

#include <string>

namespace ui {

// Pixel size of the label font: 10 pt at 96 dpi, rounded as the Windows font mapper does.
inline constexpr int kAddressFontPixels = 13;

struct FontFile {
    std::string path;
    int index = 0;
    std::string family;
    bool bold = false;  // the face itself is bold
};

// The file of the first of "Tahoma:bold", "DejaVu Sans:bold" and "sans-serif:bold" that
// fontconfig finds with the asked family (the last one takes whatever fontconfig offers).
// An empty path when there is no font at all. Safe on any thread: searches run one at a time.
FontFile FindAddressFontFile();

// Opens the label font from `file` (found by FindAddressFontFile); none when it cannot be
// opened. SDL_ttf must be started.
TTF_Font* OpenAddressFont(const FontFile& file);

}  // namespace ui
