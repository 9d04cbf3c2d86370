#include "simconnect/ConfigFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>

#include "platform/FileAccess.h"
#include "platform/Paths.h"
#include "simconnect/Protocol.h"

namespace simconnect {

namespace {

constexpr const char* kFileName = "SimConnect.cfg";
// Messages larger than this are refused whatever the file says: a bound on what one hostile
// size word can make the reader hold.
constexpr uint32_t kMaxReceiveSizeLimit = 16u << 20;
// A cfg file is a few lines; anything much larger is not one.
constexpr size_t kMaxFileSize = 64 * 1024;

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

using Section = std::map<std::string, std::string>;  // lower-case key -> value

// Every section by lower-case name; a repeated section or key keeps its first appearance.
std::map<std::string, Section> ReadSections(const std::string& text) {
    std::map<std::string, Section> sections;
    std::istringstream lines(text);
    std::string line;
    Section* current = nullptr;
    std::map<std::string, bool> seen;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            const std::string name = Lower(
                Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            current = seen[name] ? nullptr : &sections[name];
            seen[name] = true;
            continue;
        }
        const auto equals = line.find('=');
        if (current == nullptr || equals == std::string::npos) continue;
        std::string value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        current->emplace(Lower(Trim(line.substr(0, equals))), value);
    }
    return sections;
}

std::optional<uint32_t> ParseNumber(const std::string& text, uint32_t max) {
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const unsigned long long value = std::stoull(text);
    if (value > max) return std::nullopt;
    return static_cast<uint32_t>(value);
}

}  // namespace

Config ParseConfig(const std::string& text, uint32_t configIndex) {
    Config config;
    config.target = platform::DefaultSimulatorTarget();
    config.protocol = simconnect::kDefaultProtocol;
    config.maxReceiveSize = simconnect::kMaxFrameSize;

    const auto sections = ReadSections(text);
    std::string sectionName = "SimConnect." + std::to_string(configIndex);
    auto found = sections.find(Lower(sectionName));
    if (found == sections.end() && configIndex == 0) {
        sectionName = "SimConnect";
        found = sections.find("simconnect");
    }
    if (found == sections.end()) return config;
    const Section& section = found->second;
    auto value = [&section](const char* key) -> const std::string* {
        const auto it = section.find(key);
        return it == section.end() || it->second.empty() ? nullptr : &it->second;
    };
    auto problem = [&](const std::string& key, const std::string& text, const std::string& what) {
        config.problems.push_back(std::string(kFileName) + ": " + key + "=" + text + " in [" +
                                  sectionName + "] " + what);
    };

    bool explicitKind = false;
    if (const std::string* protocol = value("protocol")) {
        const std::string word = Lower(*protocol);
        explicitKind = true;
        if (word == "ipv4") {
            config.target.kind = platform::StreamTarget::Kind::IPv4;
        } else if (word == "ipv6") {
            config.target.kind = platform::StreamTarget::Kind::IPv6;
        } else if (word == "pipe") {
            config.target.kind = platform::StreamTarget::Kind::Pipe;
        } else {
            config.target.kind = platform::StreamTarget::Kind::IPv4;
            problem("Protocol", *protocol, "is not IPv4, IPv6 or Pipe; IPv4 is used.");
        }
    }
    // A target of another kind than the default starts from that kind's own defaults.
    if (explicitKind && config.target.kind != platform::DefaultSimulatorTarget().kind) {
        switch (config.target.kind) {
            case platform::StreamTarget::Kind::IPv4:
                config.target.address = "127.0.0.1";
                config.target.port = "2048";
                break;
            case platform::StreamTarget::Kind::IPv6:
                config.target.address = "::1";
                config.target.port = "2048";
                break;
            case platform::StreamTarget::Kind::Pipe:
                config.target.address = ".";
                config.target.port = "Microsoft Flight Simulator\\SimConnect";
                break;
        }
    }
    if (const std::string* address = value("address")) config.target.address = *address;
    if (const std::string* port = value("port")) {
        if (config.target.kind == platform::StreamTarget::Kind::Pipe) {
            config.target.port = *port;
        } else if (const auto number = ParseNumber(*port, 65535); number && *number > 0) {
            config.target.port = std::to_string(*number);
        } else {
            problem("Port", *port,
                    "is not a port number (1 to 65535); " + config.target.port + " is used.");
        }
    }
    if (const std::string* size = value("maxreceivesize")) {
        const auto number = ParseNumber(*size, kMaxReceiveSizeLimit);
        if (number) {
            // Never less than the protocol's own bound: a smaller buffer only loses messages.
            config.maxReceiveSize = std::max(*number, simconnect::kMaxFrameSize);
        } else {
            problem("MaxReceiveSize", *size,
                    "is not a number up to " + std::to_string(kMaxReceiveSizeLimit) + "; " +
                        std::to_string(config.maxReceiveSize) + " is used.");
        }
    }
    if (const std::string* nagle = value("disablenagle")) {
        const std::string word = Lower(*nagle);
        if (word == "1" || word == "true" || word == "yes") {
            config.target.disableNagle = true;
        } else if (word != "0" && word != "false" && word != "no") {
            problem("DisableNagle", *nagle, "is not True or False; False is used.");
        }
    }
    if (const std::string* version = value("clientversion")) {
        const std::string word = Lower(*version);
        if (word == "rtm" || word == "2") {
            config.protocol = simconnect::kProtocolRtm;
        } else if (word == "sp1" || word == "3") {
            config.protocol = simconnect::kProtocolSp1;
        } else if (word == "sp2" || word == "4") {
            config.protocol = simconnect::kProtocolSp2;
        } else {
            problem("ClientVersion", *version, "is not RTM, SP1 or SP2; SP2 is used.");
        }
    }
    return config;
}

Config LoadConfig(uint32_t configIndex) {
    for (const std::string& folder : {platform::SettingsFolder(), platform::ExecutableFolder()}) {
        if (folder.empty()) continue;
        const std::string path =
            folder + (folder.back() == '/' || folder.back() == '\\' ? "" : "/") + kFileName;
        // Named in UTF-8: the settings folder is under the user's documents folder.
        std::FILE* file = platform::OpenFile(path, "rb");
        if (file == nullptr) continue;
        std::string text(kMaxFileSize, '\0');
        text.resize(std::fread(text.data(), 1, kMaxFileSize, file));
        std::fclose(file);
        Config config = ParseConfig(text, configIndex);
        config.file = path;
        return config;
    }
    return ParseConfig("", configIndex);
}

std::string DescribeTarget(const platform::StreamTarget& target) {
    switch (target.kind) {
        case platform::StreamTarget::Kind::IPv6:
            return "[" + target.address + "]:" + target.port;
        case platform::StreamTarget::Kind::Pipe:
            return "\\\\" + target.address + "\\pipe\\" + target.port;
        case platform::StreamTarget::Kind::IPv4:
            break;
    }
    return target.address + ":" + target.port;
}

}  // namespace simconnect
