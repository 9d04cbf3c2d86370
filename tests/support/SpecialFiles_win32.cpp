#include "tests/support/SpecialFiles.h"

namespace txtest {

// A reserved device name opens the device in any folder and whatever its ending; nothing is made
// on disk for it.
std::string MakeSpecialFile(const std::string&, const std::string& ending) {
    return "NUL" + ending;
}

}  // namespace txtest
