#include "ui/win32/HandCursor.h"

#include <cstdio>

bool g_bHandCursorMade = false;

namespace ui {

HCURSOR MakeHandCursor() {
    HCURSOR system = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // IDC_HAND
    HCURSOR copy = system != nullptr ? CopyCursor(system) : nullptr;
    if (copy == nullptr) {
        std::fprintf(stderr, "Cannot make the hand pointer: error %lu\n", GetLastError());
    }
    return copy;
}

}  // namespace ui
