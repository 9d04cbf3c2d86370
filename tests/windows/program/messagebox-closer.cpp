// Answers a message box that another program shows, for the process tests of the Windows program:
// a refused second copy waits in its modal "Information" box until someone presses OK. Waits for
// a top-level dialog with the given caption, prints the texts of its static controls (the message
// itself), presses its OK button and waits until the box has gone.
//
//   messagebox-closer [--caption TEXT] [--timeout-ms N]
//
// Lines printed: "BOX: found <caption>", "BOX: text <text>" for each non-empty static control,
// "BOX: closed". Status 0 when a box was found and went away after OK, 1 when none appeared in
// time or it stayed, 2 for wrong options.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The dialog class of message boxes on Windows and under Wine.
constexpr const char* kDialogClass = "#32770";

// WM_GETTEXT is carried across processes, which GetWindowTextA does not do for child controls.
std::string WindowText(HWND window) {
    char text[1024] = {};
    DWORD_PTR copied = 0;
    if (::SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                              SMTO_ABORTIFHUNG, 2000, &copied) == 0) {
        return {};
    }
    return std::string(text, std::strlen(text));
}

struct Children {
    std::vector<std::string> texts;
    HWND okButton = nullptr;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM parameter) {
    auto* children = reinterpret_cast<Children*>(parameter);
    char className[64] = {};
    ::GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") == 0) {
        const std::string text = WindowText(child);
        if (!text.empty()) children->texts.push_back(text);
    } else if (_stricmp(className, "Button") == 0 && ::GetDlgCtrlID(child) == IDOK) {
        children->okButton = child;
    }
    return TRUE;
}

bool WaitFor(DWORD timeoutMs, const auto& condition) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(50);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string caption = "Information";
    DWORD timeoutMs = 20000;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--caption" && i + 1 < argc) {
            caption = argv[++i];
        } else if (option == "--timeout-ms" && i + 1 < argc) {
            timeoutMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            std::fprintf(stderr, "usage: messagebox-closer [--caption TEXT] [--timeout-ms N]\n");
            return 2;
        }
    }

    HWND box = nullptr;
    if (!WaitFor(timeoutMs, [&] {
            box = ::FindWindowA(kDialogClass, caption.c_str());
            return box != nullptr;
        })) {
        std::printf("BOX: none with caption \"%s\" within %lu ms\n", caption.c_str(),
                    static_cast<unsigned long>(timeoutMs));
        return 1;
    }
    std::printf("BOX: found %s\n", WindowText(box).c_str());

    // The box may still be filling in its controls when its window is first found.
    Children children;
    WaitFor(2000, [&] {
        children = Children{};
        ::EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&children));
        return !children.texts.empty() && children.okButton != nullptr;
    });
    for (const std::string& text : children.texts) std::printf("BOX: text %s\n", text.c_str());
    std::fflush(stdout);

    // What a click on OK sends its dialog; a box without the button is told to close.
    if (children.okButton != nullptr) {
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(children.okButton));
    } else {
        ::PostMessageA(box, WM_CLOSE, 0, 0);
    }
    if (!WaitFor(timeoutMs, [&] { return ::IsWindow(box) == FALSE; })) {
        std::printf("BOX: still there after OK\n");
        return 1;
    }
    std::printf("BOX: closed\n");
    return 0;
}
