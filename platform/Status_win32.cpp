// Status texts and kinds from GetLastError() and WSAGetLastError() values, which share one
// numbering and one message table.

#include <winsock2.h>

#include <iterator>

#include "platform/Utf16_win32.h"
#include "platform/WindowsError.h"

namespace platform {

std::string Status::Text() const {
    if (!m_text.empty() || m_code == 0) return m_text;
    return SystemErrorText(m_code);
}

std::string SystemErrorText(int code) {
    // The wide call, turned into UTF-8 as every text of the program is: the ANSI one would put a
    // non-English Windows' words into the log in its code page.
    wchar_t buffer[512] = {};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                         buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    std::string text = Utf8FromWide(buffer, length);
    // The system's texts end with a line break (and mostly a full stop) that a log line has of
    // its own.
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) {
        const bool winsock = code >= WSABASEERR && code < WSABASEERR + 2000;
        text = (winsock ? "Winsock error " : "error ") + std::to_string(code);
    }
    return text;
}

Status WindowsError(unsigned long error) {
    const int code = static_cast<int>(error);
    if (error == WSAEINTR) return Status(ErrorKind::kInterrupted, code);
    if (error == WSAEWOULDBLOCK) return Status(ErrorKind::kWouldBlock, code);
    return Status(ErrorKind::kFailed, code);
}

}  // namespace platform
