#pragma once
// Fixed numbers of the main window that the logic and each window system share.

namespace ui {

// Timer id of the once-a-second simulator presence check.
inline constexpr unsigned kPresenceTimerId = 32769;
// Command of the About entry, as the system menu sends it.
inline constexpr unsigned kAboutBoxCommand = 16;
// Window size (the skin covers it exactly).
inline constexpr int kWindowWidth = 320;
inline constexpr int kWindowHeight = 320;

}  // namespace ui
