#pragma once
// Files that carry a picture's name but are no plain files, for tests of the web server's
// pictures: an open or a read of one may wait for ever, and must never hold the server. A FIFO
// here (SpecialFiles_posix.cpp); reserved device names on Windows (SpecialFiles_win32.cpp).

#include <string>
#include <vector>

namespace txtest {

// Makes such files in `folder` (which ends with a separator), with names ending in `ending`
// (".png", say); their names, empty when none could be made.
std::vector<std::string> MakeSpecialFiles(const std::string& folder, const std::string& ending);

}  // namespace txtest
