#pragma once
// Image files served from disk: ".png" names from the settings folder (among them the display
// image the MCDU gauge writes), ".jpg" names from the working directory, else from the program's
// own folder.

#include <string>

namespace web {

struct HttpRequest;

// The longest name taken from a path, and the longest settings folder plus PNG name: what the
// fixed name buffers of the Windows build held, kept so both builds accept the same names.
inline constexpr size_t kImageNameMax = 259;
inline constexpr size_t kImagePathMax = 258;

// The file name an image path reads: the path without its first character, inside the settings
// folder when the path contains ".png", else relative to the working directory. A name that
// could leave its folder or name something other than a plain file there (separators, a colon,
// "..", a leading dot, control bytes) or that is too long gives an empty result and the reason in
// `refusal`.
std::string ImageFileName(const std::string& path, const std::string& settingsFolder,
                          std::string& refusal);

// Fills the body with the bytes of the image the path names. False when the name is refused
// (one log line; the caller answers not found). A file that cannot be opened leaves the body
// empty and writes one log line; the answer is then an empty image. A name read from the working
// directory that cannot be opened there is read from beside the program instead; only when that
// fails too is the working directory's failure logged.
bool ServeImageFile(HttpRequest& request, const std::string& settingsFolder);

}  // namespace web
