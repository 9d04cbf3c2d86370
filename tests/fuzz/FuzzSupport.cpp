#include "tests/fuzz/FuzzSupport.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "log/Log.h"

namespace txfuzz {

namespace {

std::string MakeSandbox() {
    char root[] = "/tmp/tx-fuzz-XXXXXX";
    if (::mkdtemp(root) == nullptr) std::abort();
    const std::string base = root;
    const std::string settings = base + "/settings/";
    const std::string runtime = base + "/run";
    if (::mkdir(settings.c_str(), 0700) != 0 || ::mkdir(runtime.c_str(), 0700) != 0) std::abort();
    // An image that exists, so that image paths are served from disk as well as refused.
    if (FILE* png = std::fopen((settings + "MCDU_Dspl.png").c_str(), "wb")) {
        static const unsigned char kBytes[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0};
        std::fwrite(kBytes, 1, sizeof kBytes, png);
        std::fclose(png);
    }
    ::setenv("HOME", base.c_str(), 1);
    // No gauge listens here: key presses find no pipe and are dropped at once.
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    logging::LogFile.Open("/dev/null");
    return settings;
}

}  // namespace

const std::string& PrepareSandbox() {
    static const std::string settings = MakeSandbox();
    return settings;
}

}  // namespace txfuzz
