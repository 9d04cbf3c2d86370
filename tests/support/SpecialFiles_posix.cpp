#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/SpecialFiles.h"

namespace txtest {

std::vector<std::string> MakeSpecialFiles(const std::string& folder, const std::string& ending) {
    const std::string name = "pipe" + ending;
    if (::mkfifo((folder + name).c_str(), 0600) != 0) return {};
    return {name};
}

}  // namespace txtest
