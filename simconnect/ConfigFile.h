#pragma once
// Where the simulator is and how to speak to it, the way the simulator's own clients are told: a
// SimConnect.cfg file in the settings folder, else beside the executable, with a section
// [SimConnect.N] for configuration index N ([SimConnect] also stands for index 0). Keys: Protocol
// (IPv4, IPv6 or Pipe), Address, Port, MaxReceiveSize, DisableNagle, and ClientVersion (RTM, SP1
// or SP2: which release of the simulator's protocol to speak). Without a file, the system's
// default target (platform::DefaultSimulatorTarget) under the SP2 protocol.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteStream.h"

namespace simconnect {

struct Config {
    platform::StreamTarget target;
    uint32_t protocol = 0;        // simconnect::kProtocol*
    uint32_t maxReceiveSize = 0;  // largest message read whole, header included
    std::string file;             // the file read; empty when none was found
    // What was wrong with the file, one log line each (without line end); the value in question
    // was replaced by its default.
    std::vector<std::string> problems;
};

// The configuration for `configIndex` from the text of a cfg file. Section and key names are
// compared without regard to case; blanks around names and values, and lines starting with ';'
// or '#', are ignored; the first section of a name counts.
Config ParseConfig(const std::string& text, uint32_t configIndex);

// From the first SimConnect.cfg found (settings folder, then the executable's folder); the
// defaults when there is none.
Config LoadConfig(uint32_t configIndex);

// "127.0.0.1:2048", "[::1]:2048", or the pipe's path.
std::string DescribeTarget(const platform::StreamTarget& target);

}  // namespace simconnect
