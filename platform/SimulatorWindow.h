#pragma once
// Whether the simulator's main window exists on this machine: the presence check of a simulator
// that runs here. On Windows it is a top-level window of class "FS98MAIN"; on Linux the simulator
// (or its stand-in) holds an exclusive lock on $XDG_RUNTIME_DIR/FS98MAIN while its window is up.

namespace platform {

bool SimulatorWindowExists();

}  // namespace platform
