#pragma once
// A message box that never blocks a run without a display: there, the caption and text go to
// standard error as one line and the run goes on as if OK had been pressed.

#include <string>

namespace platform {

enum class MessageIcon { Information, Error };

void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon);

// True when windows can really be shown (not the dummy or offscreen video driver, and SDL's video
// subsystem can start or has started).
bool HasDisplay();

}  // namespace platform
