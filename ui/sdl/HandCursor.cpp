#include "ui/sdl/HandCursor.h"

namespace ui {

bool g_bHandCursorMade = false;

namespace {

SDL_Cursor* MakeSystemHandCursor() {
    return SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_HAND);
}

CursorMaker g_makeCursor = &MakeSystemHandCursor;

}  // namespace

SDL_Cursor* MakeHandCursor() {
    return g_makeCursor();
}

void SetHandCursorMaker(CursorMaker maker) {
    g_makeCursor = maker != nullptr ? maker : &MakeSystemHandCursor;
}

}  // namespace ui
