#include "tests/support/SpecialFiles.h"

namespace txtest {

// A reserved device name opens the device in any folder and whatever its ending; nothing is made
// on disk for it.
std::vector<std::string> MakeSpecialFiles(const std::string&, const std::string& ending) {
    return {"NUL" + ending, "nul" + ending, "CON" + ending};
}

// The devices named here never make a reader wait.
void ReleaseSpecialFile(const std::string&) {}

}  // namespace txtest
