#pragma once
// Where the program finds its files and meeting points on this machine. On Linux everything is
// derived from the environment (HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR), so a test can give each
// run its own (Paths_linux.cpp). On Windows the shell names the documents folder, and the meeting
// points are the names of the system's own objects (Paths_win32.cpp).

#include <string>

namespace platform {

// The user's documents folder as `xdg-user-dir DOCUMENTS` reports it: XDG_DOCUMENTS_DIR from
// $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config), else $HOME/Documents. On Windows the shell's
// (CSIDL_PERSONAL), empty when it names none. No trailing separator.
std::string DocumentsFolder();

// DocumentsFolder() + "/Quennick/Tarvel/" ("\Quennick\Tarvel\" on Windows, under the executable's
// folder when the shell names no documents folder), trailing separator kept. Never created here.
std::string SettingsFolder();

// The folder of the running executable, without trailing separator; empty when unknown.
std::string ExecutableFolder();

// The per-user runtime folder for `name`: $XDG_RUNTIME_DIR/name, or /tmp/name-<uid> without
// XDG_RUNTIME_DIR; on Windows the user's temporary folder.
std::string RuntimePath(const std::string& name);

// The single-instance lock file; on Windows the name of the instance mutex.
std::string InstanceLockPath();
// The lock the simulator holds while its main window exists; on Windows the class of that window.
std::string SimulatorPresenceLockPath();
// The MCDU input pipe's socket: $XDG_RUNTIME_DIR/pipe/MCDU_Input, or /tmp/pipe-<uid>/MCDU_Input;
// on Windows the named pipe \\.\pipe\MCDU_Input.
std::string McduPipePath();

}  // namespace platform
