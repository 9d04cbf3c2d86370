#pragma once
// The usable area of the primary display (what a maximised window's client area gets). Measured by
// the window system: ui/sdl/ on Linux, ui/win32/ on Windows.

namespace ui {

struct DisplaySize {
    int width = 0;
    int height = 0;
};

// Width and height of the primary display's usable area; 1024 x 768 when none can be read
// (headless runs).
DisplaySize UsableDisplaySize();

}  // namespace ui
