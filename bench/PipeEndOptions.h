#pragma once
// The options the bench's two Windows helpers share: "--port N [--pipe NAME]".

#include <cstdlib>
#include <cstring>
#include <string>

// Reads the port and the pipe's name (MCDU_Input unless given). False when no valid port is given.
inline bool ReadPipeEndOptions(int argc, char** argv, int& port, std::string& pipeName) {
    port = 0;
    pipeName = "MCDU_Input";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--port") == 0) port = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--pipe") == 0) pipeName = argv[i + 1];
    }
    return port > 0 && port <= 65535;
}
