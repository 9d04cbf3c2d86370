// Prints the size of the full-screen client area, "<width> <height>": what the Windows program
// places its window by, which only a Windows program can ask for.

#include <windows.h>

#include <cstdio>

int main() {
    std::printf("%d %d\n", GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN));
    return 0;
}
