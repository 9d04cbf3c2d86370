#pragma once
// The About box: the program's name and version, one line about what it does, and an OK button.
// Its title and lines are string resources, like the rest of the window's texts.

#include <SDL.h>

#include <string>

namespace ui {

class CAboutDlg {
  public:
    // Shows the box over `parent` until OK, Enter, Escape or its close box ends it; returns 1.
    // Without a display the title and text go to standard error as one line and the box counts
    // as confirmed.
    int DoModal(SDL_Window* parent);

    static std::string Title();
    // The version line, a line break, then the second line.
    static std::string Text();
};

}  // namespace ui
