#pragma once
// A private X server (Xvfb) for tests that need a real window system, and the X tools that look
// at it (xdotool, ImageMagick's import and convert).

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace txtest {

// The full path of `name` found on $PATH; empty when it is not installed.
std::string FindProgram(const std::string& name);

// Runs a program to its end; its standard output, or nothing when it failed or took too long.
std::optional<std::string> RunProgram(const std::string& program,
                                      const std::vector<std::string>& args,
                                      const std::map<std::string, std::string>& env,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(20));

class XvfbSession {
  public:
    XvfbSession() = default;
    ~XvfbSession();  // stops the server
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    static bool IsInstalled() { return !FindProgram("Xvfb").empty(); }
    // Starts a server on a free display number with one screen of width x height x 24 bits.
    bool Start(int width, int height);
    // ":N"
    const std::string& display() const { return m_display; }
    // Runs an X tool against this server.
    std::optional<std::string> Run(const std::string& tool, const std::vector<std::string>& args);
    // Writes the whole screen to `path` (the file type follows its extension).
    bool Screenshot(const std::string& path);

  private:
    // Whether the display's lock file names this session's server.
    bool OwnsLock(const std::string& lock) const;

    ChildProcess m_server;
    std::string m_display;
};

}  // namespace txtest
