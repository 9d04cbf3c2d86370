#pragma once
// The font of the address label: Tahoma at 10 points on the window's screen, semi-bold (weight
// 600), antialiased, TrueType only. Its height in pixels follows the screen's logical pixels per
// inch, so the label keeps its size in points on a screen scaled above 96 dots per inch.

#include <windows.h>

namespace ui {

// The label font for `window`'s screen, to be deleted by the caller; none when it cannot be made.
HFONT CreateAddressFont(HWND window);

// The label's height in pixels for `pixelsPerInch` logical pixels per inch (negative: the height
// of the characters, without internal leading).
int AddressFontHeight(int pixelsPerInch);

}  // namespace ui
