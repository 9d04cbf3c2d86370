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

void ReleaseSpecialFile(const std::string& path) {
    // An open for reading waits for a writer: one that comes and goes lets it end.
    const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
}

}  // namespace txtest
