#include "ui/win32/HandCursor.h"

#include <cstdio>

namespace ui {

bool g_bHandCursorMade = false;

HCURSOR MakeHandCursor() {
    HCURSOR system = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // IDC_HAND
    HCURSOR copy = system != nullptr ? CopyCursor(system) : nullptr;
    if (copy == nullptr) {
        std::fprintf(stderr, "Cannot make the hand pointer: error %lu\n", GetLastError());
    }
    return copy;
}

}  // namespace ui
