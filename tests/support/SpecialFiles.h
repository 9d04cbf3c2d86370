#pragma once
// A file that carries a picture's name but is no plain file, for tests of the web server's
// pictures: an open or a read of one may wait for ever, and must never hold the server. A FIFO
// here (SpecialFiles_posix.cpp); a reserved device name on Windows (SpecialFiles_win32.cpp).

#include <string>

namespace txtest {

// Makes such a file in `folder` (which ends with a separator), its name ending in `ending`
// (".png", say); its name, empty when none could be made.
std::string MakeSpecialFile(const std::string& folder, const std::string& ending);

}  // namespace txtest
