#pragma once
// How a call into the system came out, as one small value that is returned, never thrown: ok, or
// the system's error number (errno on Linux, GetLastError() or WSAGetLastError() on Windows) with
// its text and, where a caller acts on it, what kind of failure it is. The per-system files make
// them (PosixError in *_posix.cpp, WindowsError in *_win32.cpp), so the portable code never looks
// at a system's numbers, only at kinds; the numbers and texts go into the log.
//
// A call that also hands out a value returns a Result: the Status and the value beside it. The
// value is what the call got done, also when it then failed (the bytes a write sent before an
// error), and the default of its type when nothing was.

#include <string>
#include <utility>

namespace platform {

enum class ErrorKind {
    kOk,
    kWouldBlock,   // nothing could be done without waiting (or a send time-out passed)
    kInterrupted,  // a signal ended the call before it did anything; it may be made again
    kTimedOut,     // a wait passed its time limit
    kCancelled,    // the caller's cancel flag ended it
    kTooLong,      // the data outgrew the caller's bound
    kClosed,       // the peer ended the connection in order, or has gone (and a handle closed here)
    kReset,        // the peer reset the connection
    kNoServer,     // nobody took the connection: refused, unreachable, or no answer in time
    kUnresolved,   // the name does not resolve
    kUnsupported,  // this system cannot reach that kind of thing
    kCannotOpen,   // a file could not be opened as what the caller needs (missing, a folder, ...)
    kFailed,       // anything else; the number and text say what
};

class [[nodiscard]] Status {
  public:
    // Ok.
    Status() = default;
    // A failure of `kind`: the system's number `code` (0 when the system gave none), and `text`
    // when the system's own words for the number are not the right ones.
    explicit Status(ErrorKind kind, int code = 0, std::string text = {})
        : m_kind(kind), m_code(code), m_text(std::move(text)) {}

    bool IsOk() const { return m_kind == ErrorKind::kOk; }
    ErrorKind Kind() const { return m_kind; }
    // The system's number, 0 when ok or when the failure has none.
    int Code() const { return m_code; }
    // The words for the failure: the text given, else the system's words for the number (empty
    // when ok or without a number). Made when asked for, so a failure nobody logs costs no
    // lookup.
    std::string Text() const;

  private:
    ErrorKind m_kind = ErrorKind::kOk;
    int m_code = 0;
    std::string m_text;
};

template <typename T>
struct [[nodiscard]] Result {
    Status status;
    T value{};

    bool IsOk() const { return status.IsOk(); }
};

// The system's words for an error number, without the line break (and full stop) some systems end
// them with. Made by the system's own Status file.
std::string SystemErrorText(int code);

}  // namespace platform
