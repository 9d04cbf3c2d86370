#pragma once
// Where the pointer is on the face. Messages' own positions are not used, since a drag may have
// moved the window under the pointer since the message was made.

#include <windows.h>

#include "ui/FaceRect.h"

namespace ui {

// The pointer's current place in `window`'s client coordinates.
inline FacePoint GetClientCursorPos(HWND window) {
    POINT point{};
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    return {static_cast<int>(point.x), static_cast<int>(point.y)};
}

}  // namespace ui
