#pragma once
// The hand pointer shown over the exit strip and the address strip. It is made once per process:
// a failed attempt is never repeated, and the default pointer then stays for good.

#include <windows.h>

namespace ui {

// Set once the one attempt to make the hand pointer has been made, whether it worked or not.
extern bool g_bHandCursorMade;

// A private copy of the system's hand pointer (IDC_HAND), or none when it cannot be made. The
// copy is kept for the life of the process.
HCURSOR MakeHandCursor();

}  // namespace ui
