// The client area of a full-screen window on the primary display: the screen less the task bar
// and a caption's height, as the window's placement has always been computed on Windows.

#include "ui/DisplayMetrics.h"

#include <windows.h>

namespace ui {

DisplaySize UsableDisplaySize() {
    const int width = GetSystemMetrics(SM_CXFULLSCREEN);
    const int height = GetSystemMetrics(SM_CYFULLSCREEN);
    if (width > 0 && height > 0) return {width, height};
    return {1024, 768};
}

}  // namespace ui
