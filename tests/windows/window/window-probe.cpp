// Tells the window tests what only a Windows program can ask the system: the screen metrics the
// program places its window by, and the state of a top-level window found by its title.
//
//   window-probe metrics          "FULLSCREEN <w> <h>", "ICON <w> <h>", "LOGPIXELSY <n>"
//   window-probe window TITLE     "RECT <left> <top> <right> <bottom>", "CLIENT <w> <h>",
//                                 "ICONIC <0|1>", "VISIBLE <0|1>", "ENABLED <0|1>"
//
// Status 0 with the lines, 1 when there is no such window, 2 for wrong arguments.

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

int PrintMetrics() {
    std::printf("FULLSCREEN %d %d\n", GetSystemMetrics(SM_CXFULLSCREEN),
                GetSystemMetrics(SM_CYFULLSCREEN));
    std::printf("ICON %d %d\n", GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    HDC screen = GetDC(nullptr);
    std::printf("LOGPIXELSY %d\n", screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0);
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return 0;
}

int PrintWindow(const char* title) {
    HWND window = FindWindowA(nullptr, title);
    if (window == nullptr) {
        std::printf("NONE\n");
        return 1;
    }
    RECT rect{};
    RECT client{};
    GetWindowRect(window, &rect);
    GetClientRect(window, &client);
    std::printf("RECT %ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    std::printf("CLIENT %ld %ld\n", client.right - client.left, client.bottom - client.top);
    std::printf("ICONIC %d\n", IsIconic(window) ? 1 : 0);
    std::printf("VISIBLE %d\n", IsWindowVisible(window) ? 1 : 0);
    std::printf("ENABLED %d\n", IsWindowEnabled(window) ? 1 : 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 2;
    if (argc == 2 && std::strcmp(argv[1], "metrics") == 0) status = PrintMetrics();
    if (argc == 3 && std::strcmp(argv[1], "window") == 0) status = PrintWindow(argv[2]);
    if (status == 2) std::fprintf(stderr, "usage: window-probe metrics | window TITLE\n");
    std::fflush(stdout);
    return status;
}
