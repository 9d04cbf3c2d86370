#pragma once
// The usable area of the primary display (what a maximised window's client area gets). Measured by
// the window system, so its implementation sits with the window system's sources (ui/sdl/ on
// Linux).

namespace platform {

struct DisplaySize {
    int width = 0;
    int height = 0;
};

// Width and height of the primary display's usable area; 1024 x 768 when none can be read
// (headless runs).
DisplaySize UsableDisplaySize();

}  // namespace platform
