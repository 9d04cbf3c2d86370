#pragma once
// Where the program finds its files and meeting points on this machine. Everything is derived from
// the environment (HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR), so a test can give each run its own.

#include <string>

namespace platform {

// The user's documents folder as `xdg-user-dir DOCUMENTS` reports it: XDG_DOCUMENTS_DIR from
// $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config), else $HOME/Documents. No trailing slash.
std::string DocumentsFolder();

// DocumentsFolder() + "/Quennick/Tarvel/" (trailing separator kept). Never created here.
std::string SettingsFolder();

// The folder of the running executable, without trailing separator; empty when unknown.
std::string ExecutableFolder();

// The per-user runtime folder for `name`: $XDG_RUNTIME_DIR/name, or /tmp/name-<uid> without
// XDG_RUNTIME_DIR.
std::string RuntimePath(const std::string& name);

// The single-instance lock file.
std::string InstanceLockPath();
// The lock the simulator holds while its main window exists.
std::string SimulatorPresenceLockPath();
// The MCDU input pipe's socket: $XDG_RUNTIME_DIR/pipe/MCDU_Input, or /tmp/pipe-<uid>/MCDU_Input.
std::string McduPipePath();

}  // namespace platform
