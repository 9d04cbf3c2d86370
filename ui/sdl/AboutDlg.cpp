#include "ui/sdl/AboutDlg.h"

#include <cstdio>

#include "res/Resources.h"
#include "ui/MessageBox.h"

namespace ui {

namespace {
constexpr int kOkId = 1;
}

std::string CAboutDlg::Title() {
    return res::LoadResourceString(res::kIdsAboutTitle);
}

std::string CAboutDlg::Text() {
    return res::LoadResourceString(res::kIdsAboutVersion) + "\n" +
           res::LoadResourceString(res::kIdsAboutDescription);
}

int CAboutDlg::DoModal(SDL_Window* parent) {
    const std::string title = Title();
    std::string text = Text();
    if (ui::HasDisplay()) {
        const SDL_MessageBoxButtonData ok{
            SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
            kOkId, "OK"};
        const SDL_MessageBoxData box{
            SDL_MESSAGEBOX_INFORMATION, parent, title.c_str(), text.c_str(), 1, &ok, nullptr};
        int pressed = 0;
        if (SDL_ShowMessageBox(&box, &pressed) == 0) return kOkId;
    }
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
    return kOkId;
}

}  // namespace ui
