// Answers a message box that another program shows, for the process tests of the Windows program:
// a refused second copy waits in its modal "Information" box until someone presses OK. Waits up to
// 20 s for a top-level dialog with the given caption, prints the texts of its static controls (the
// message itself), presses its OK button and waits until the box has gone.
//
//   messagebox-closer CAPTION
//
// Lines printed: "BOX: text <text>" for each non-empty static control, then "BOX: closed". Status
// 0 when a box was found and went away after OK, 1 when none appeared in time or it stayed, 2
// without a caption.

#include <windows.h>

#include <cstdio>

namespace {

constexpr DWORD kTimeoutMs = 20000;

bool WaitFor(DWORD timeoutMs, const auto& condition) {
    for (const ULONGLONG deadline = ::GetTickCount64() + timeoutMs; !condition(); ::Sleep(50))
        if (::GetTickCount64() >= deadline) return false;
    return true;
}

// WM_GETTEXT is carried across processes, which GetWindowTextA does not do for child controls.
BOOL CALLBACK PrintStaticText(HWND child, LPARAM) {
    char className[64] = {};
    char text[1024] = {};
    DWORD_PTR copied = 0;
    ::GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") == 0 &&
        ::SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                              SMTO_ABORTIFHUNG, 2000, &copied) != 0 &&
        text[0] != '\0') {
        std::printf("BOX: text %s\n", text);
    }
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    // "#32770" is the dialog class of message boxes, on Windows and under Wine.
    HWND box = nullptr;
    if (!WaitFor(kTimeoutMs, [&] { return (box = ::FindWindowA("#32770", argv[1])) != nullptr; }))
        return 1;
    // The box may still be filling in its controls when its window is first found; it shows
    // once its texts are in. What a click on OK sends its dialog; a box without the button is
    // told to close.
    HWND ok = nullptr;
    WaitFor(2000,
            [&] { return (ok = ::GetDlgItem(box, IDOK)) != nullptr && ::IsWindowVisible(box); });
    ::EnumChildWindows(box, PrintStaticText, 0);
    std::fflush(stdout);
    ::PostMessageA(box, ok != nullptr ? WM_COMMAND : WM_CLOSE,
                   ok != nullptr ? MAKEWPARAM(IDOK, BN_CLICKED) : 0, reinterpret_cast<LPARAM>(ok));
    if (!WaitFor(kTimeoutMs, [&] { return ::IsWindow(box) == FALSE; })) return 1;
    std::printf("BOX: closed\n");
    return 0;
}
