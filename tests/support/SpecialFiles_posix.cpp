#include <sys/stat.h>

#include "tests/support/SpecialFiles.h"

namespace txtest {

std::string MakeSpecialFile(const std::string& folder, const std::string& ending) {
    const std::string name = "pipe" + ending;
    return ::mkfifo((folder + name).c_str(), 0600) == 0 ? name : "";
}

}  // namespace txtest
