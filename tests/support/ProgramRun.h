#pragma once
// The program as a child process for load, fault and bad-input tests: its start with a given INI,
// requests over loopback, and what /proc says about it (descriptors and threads).

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>

#include "tests/support/TestSupport.h"

namespace txtest {

// Runs under AddressSanitizer or ThreadSanitizer: long loops scale their counts down.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// `normal` in a normal build, `sanitized` under a sanitizer.
inline int Scaled(int normal, int sanitized) {
    return kSanitized ? sanitized : normal;
}

// An INI with logging on and the server on `port`, answering without waiting for the simulator.
std::string ServerIni(int port, bool logging = true);

// Sends `request` on a fresh loopback connection; everything until the server closes it.
std::string Exchange(int port, const std::string& request,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
// A plain GET of `path`.
std::string Get(int port, const std::string& path);
// True when `response` is one whole response: status line, headers, empty line, exactly
// Content-Length bytes of body and one line feed.
bool IsWellFormedResponse(const std::string& response);

// Entries of /proc/<pid>/fd and /proc/<pid>/task; -1 when the process is gone.
int OpenDescriptors(pid_t pid);
int Threads(pid_t pid);

}  // namespace txtest
