// Message boxes are the system's own on Windows. The line on standard error is for runs under a
// test harness; a desktop run has no console to show it.

#include "ui/MessageBox.h"

#include <windows.h>

#include <cstdio>

namespace ui {

bool HasDisplay() {
    return GetSystemMetrics(SM_CXSCREEN) > 0;
}

void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    const UINT flags = MB_OK | (icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION);
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

}  // namespace ui
