#include "bench/Options.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace txbench {
namespace {

std::string WineOnPath() {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    std::istringstream folders(path);
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (::access((folder + "/wine").c_str(), X_OK) == 0) return folder + "/wine";
    }
    return {};
}

}  // namespace

Options ReadOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) options.quick = true;
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) options.only = argv[++i];
        if (std::strcmp(argv[i], "--windows") == 0 && i + 1 < argc) options.windowsBin = argv[++i];
    }
    options.wine = WineOnPath();
    return options;
}

}  // namespace txbench
