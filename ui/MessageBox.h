#pragma once
// A message box that never blocks a run without a display: there, the caption and text go to
// standard error as one line and the run goes on as if OK had been pressed. The box is the window
// system's: ui/sdl/ on Linux, ui/win32/ on Windows.

#include <string>

namespace ui {

enum class MessageIcon { Information, Error };

void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon);

// True when windows can really be shown: a display is there and the window system uses it (a
// headless run's stand-in driver does not count).
bool HasDisplay();

}  // namespace ui
